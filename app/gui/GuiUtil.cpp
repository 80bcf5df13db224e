#include "app/gui/GuiUtil.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QTextDocument>
#include <QUrl>

#include "gt/core/lang/Double.h"

namespace {

constexpr long long kMega = 1048576;
constexpr long long kGiga = 1073741824;

}  // namespace

QString plainToolTip(QString const& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

bool openUrl(QString const& url) { return QDesktopServices::openUrl(QUrl::fromEncoded(url.toUtf8())); }

QColor themeColor() { return QColor(QStringLiteral("#FFA924")); }

gt::core::String formatNumber(double value) {
    // Comparisons with NaN are false, so it falls through to "0".
    if (value >= 100) return gt::core::Double(value).toString(0);
    if (value >= 10) return gt::core::Double(value).toString(1);
    if (value >= 0.01) return gt::core::Double(value).toString(2);
    return u"0";
}

gt::core::String formatTraffic(long long bytes) {
    if (bytes < kGiga) return formatNumber(static_cast<double>(bytes) / kMega) + u" M";
    return formatNumber(static_cast<double>(bytes) / kGiga) + u" G";
}

QString mainStyleSheet() {
    return QStringLiteral(
        "* { font: 12px \"微软雅黑\"; color: #aaa; selection-color: #fff; selection-background-color: "
        "#FFA924;"
        " border: none; outline: none; }\n"
        "QToolTip { background: #3a3a3a; font: 12px \"宋体\"; border: none; }\n"
        "#widgetForwardManage { background: #333; }\n"
        "QComboBox { color: #aaa; background: #3a3a3a; border: 1px solid #555555; padding: 5px 8px;"
        " margin-bottom: 5px; }\n"
        "QComboBox:hover { border: 1px solid #777; }\n"
        "QComboBox:on { border: 1px solid #FFA924; }\n"
        "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: top right; width: 28px;"
        " border: none; }\n"
        "QComboBox::down-arrow { width: 24px; height: 24px; image: url(:/rc/icon_expand_arrow_down.png); }\n"
        "QComboBox::down-arrow:on { image: url(:/rc/icon_expand_arrow_up.png); }\n"
        "QComboBox QAbstractItemView { background: #3a3a3a; selection-color: #AAA;"
        " selection-background-color: #555; border: 1px solid #555; padding: 0px 5px; }\n"
        "QComboBox QAbstractItemView::item { min-height: 28px; }\n"
        "QMenu { color: #aaa; background: #2e2e2e; border: 1px solid #3d3d3d; }\n"
        "QMenu::item { padding: 8px 32px; }\n"
        "QMenu::item:selected { color: #fff; background: #FFA924; }\n"
        "QMenu::item:disabled { color: gray; }\n"
        "QMenu::separator { height: 1px; background: #3d3d3d; margin-left: 12px; margin-right: 12px; }\n"
        "QScrollBar:vertical { width: 8px; background: transparent; }\n"
        "QScrollBar:horizontal { height: 8px; background: transparent; }\n"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; }\n"
        "QScrollBar::handle { background: rgba(0,0,0,25%); border-radius: 4px; min-height: 20; }\n"
        "QScrollBar::handle:hover { background: rgba(0,0,0,50%); }\n"
        "QScrollBar::add-page, QScrollBar::sub-page { background: rgba(0,0,0,4%); border-radius: 4px; }\n"
        "QTabWidget::pane { border: none; }\n");
}
