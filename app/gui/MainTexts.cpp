#include "app/gui/MainTexts.h"

#include "app/QuotaFigures.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/WebLinks.h"

char const* const MainTexts::REPAIR_SVR_LINK = "app:///repair?type=svr";
char const* const MainTexts::REPAIR_DEVICE_LINK = "app:///repair?type=device";

namespace {

QString repairLink(char const* link) {
    return QStringLiteral(" <a href='%1'><font color='#CE891D'><small>点击修复</small></font></a>")
        .arg(QString::fromUtf8(link));
}

QString storeLink(QString const& url, QString const& word) {
    return QStringLiteral("<a href='%1'><font color='#ffa924'><small>%2</small></font></a>")
        .arg(url.toHtmlEscaped(), word);
}

}  // namespace

QString MainTexts::statusLine(bool serviceRunning, QString const& bindingText) {
    if (!serviceRunning)
        return QStringLiteral("<span>后台组件异常") + repairLink(REPAIR_SVR_LINK) + "</span>";
    if (bindingText.isEmpty()) return QStringLiteral("Quorvane正在运行");
    return QStringLiteral("<span>") + bindingText.toHtmlEscaped() + repairLink(REPAIR_DEVICE_LINK) +
           QStringLiteral("</span>");
}

QString MainTexts::accountSummary(tunnel::QuotaInfo const& quota, tunnel::Plan const& plan) {
    QString text = QStringLiteral("免费流量：") +
                   toQString(formatTraffic(tunnel::QuotaFigures::trafficLeft(quota.limit.traffic_free,
                                                                             quota.used.traffic_free))) +
                   QStringLiteral("<br>");
    text += QStringLiteral("已购流量：") +
            toQString(formatTraffic(
                tunnel::QuotaFigures::trafficLeft(quota.limit.traffic_paid, quota.used.traffic_paid))) +
            QStringLiteral(" ") + storeLink(WebLinks::storeTraffic(), QStringLiteral("加购")) +
            QStringLiteral("<br>");
    long long const remain = plan.remain.seconds();
    if (remain <= 0) {
        text +=
            QStringLiteral("套餐剩余：无套餐 ") + storeLink(WebLinks::storePlan(), QStringLiteral("升级"));
    } else {
        text += QStringLiteral("套餐剩余：") + QString::number(remain / 86400) + QStringLiteral(" 天 ") +
                storeLink(WebLinks::storeRenew(), QStringLiteral("续期"));
    }
    return text;
}
