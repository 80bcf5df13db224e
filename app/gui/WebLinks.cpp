#include "app/gui/WebLinks.h"

#include "app/gui/GuiUtil.h"
#include "app/gui/InformationDialog.h"

#ifndef QV_WEB_URL
#define QV_WEB_URL "https://www.quorvane.example"
#endif

bool WebLinks::open(QString const& url, QWidget* parent) {
    if (openUrl(url)) return true;
    // The address is ours, but it goes in escaped: the box shows it as it is,
    // selectable, and not as a link that would only fail again.
    InformationDialog(parent, true)
        .information(
            QStringLiteral("未能打开浏览器"),
            QStringLiteral("<p>没有找到可以打开网页的浏览器。请复制以下地址，在浏览器中打开：</p><p>") +
                url.toHtmlEscaped() + QStringLiteral("</p>"));
    return false;
}

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
