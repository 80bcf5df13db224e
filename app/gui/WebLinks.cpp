#include "app/gui/WebLinks.h"

#ifndef QV_WEB_URL
#define QV_WEB_URL "https://www.quorvane.example"
#endif

QString WebLinks::_page(char const* path) { return QStringLiteral(QV_WEB_URL) + QString::fromUtf8(path); }

QString WebLinks::site() { return _page("/"); }
QString WebLinks::storeTraffic() { return _page("/store/traffic/"); }
QString WebLinks::storePlan() { return _page("/store/plan-create/"); }
QString WebLinks::storeModify() { return _page("/store/plan-modify/"); }
QString WebLinks::storeRenew() { return _page("/store/plan-renew/"); }
QString WebLinks::console() { return _page("/console/"); }
QString WebLinks::help() { return _page("/help/?from=qvr_v2"); }
QString WebLinks::gatewayHelp() { return _page("/help/gateway.html"); }
QString WebLinks::accountForget() { return _page("/account/forget/"); }
QString WebLinks::accountRegister() { return _page("/account/register/"); }
