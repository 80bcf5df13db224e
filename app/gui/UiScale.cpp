#include "app/gui/UiScale.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#include "app/gui/GuiUtil.h"
#include "gt/core/lang/Double.h"

namespace {

// The factors searched after the exact one, largest first.
constexpr double kFallbackFactors[] = {2, 1.75, 1.5, 1.25};
constexpr int kScaledLengths = 100;

int clampToInt(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::clamp(value, static_cast<double>(std::numeric_limits<int>::min()),
                                       static_cast<double>(std::numeric_limits<int>::max())));
}

int scaledLimit(int limit, double factor) {
    return limit < QWIDGETSIZE_MAX ? std::min(UiScale::scaled(limit, factor), QWIDGETSIZE_MAX)
                                   : QWIDGETSIZE_MAX;
}

QString scaleLengths(QString text, double factor) {
    for (int i = 0; i < kScaledLengths; ++i) {
        QString from = QStringLiteral(" %1px").arg(i);
        if (!text.contains(from)) continue;
        text.replace(from, QStringLiteral(" %1_px").arg(static_cast<long long>(std::round(factor * i))));
    }
    text.replace(QStringLiteral("_px"), QStringLiteral("px"));
    return text;
}

QString scaleUrls(QString const& text, double factor) {
    static QString const open = QStringLiteral("url(");
    QString out;
    out.reserve(text.size());
    int from = 0;
    for (;;) {
        int at = text.indexOf(open, from);
        if (at < 0) break;
        int close = text.indexOf(QLatin1Char(')'), at + open.size());
        if (close < 0) break;  // unterminated: the rest stays as written
        out += QStringView(text).mid(from, at - from);
        QString path = text.mid(at + open.size(), close - at - open.size());
        path.remove(QLatin1Char('"'));
        path.remove(QLatin1Char('\''));
        path = path.trimmed();
        if (!path.isEmpty()) {
            if (path.startsWith(QLatin1Char(':')))
                path = toQString(UiScale::findImage(fromQString(path), factor));
            out += QStringLiteral("url('") + path + QStringLiteral("')");
        }
        from = close + 1;
    }
    out += QStringView(text).mid(from);
    return out;
}

}  // namespace

double UiScale::s_factor = 0;

double UiScale::factor() {
    if (s_factor > 0) return s_factor;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1.0;
    double dpi = screen->logicalDotsPerInchX();
    return dpi > 0 ? dpi / BASE_DPI : 1.0;
}

void UiScale::setFactor(double factor) { s_factor = factor > 0 ? factor : 0; }

int UiScale::scaled(double value) { return scaled(value, factor()); }

int UiScale::scaled(double value, double factor) {
    double p = factor * value;
    double whole = std::trunc(p);
    if (std::fmod(whole, 2.0) == 0) return clampToInt(whole);
    return clampToInt(std::round(p));
}

gt::core::String UiScale::imageName(gt::core::String const& name, double factor) {
    if (!(factor > 1)) return name;
    QString text = toQString(name);
    text.replace(
        QStringLiteral(".png"),
        QStringLiteral("@") + toQString(gt::core::Double(factor).toString()) + QStringLiteral("x.png"));
    return fromQString(text);
}

gt::core::String UiScale::findImage(gt::core::String const& name, double factor) {
    gt::core::String exact = imageName(name, factor);
    if (QFile::exists(toQString(exact))) return exact;
    for (double f : kFallbackFactors) {
        gt::core::String candidate = imageName(name, f);
        if (QFile::exists(toQString(candidate))) return candidate;
    }
    return name;
}

gt::core::String UiScale::image(gt::core::String const& name) { return findImage(name, factor()); }

QString UiScale::scaleStyleSheet(QString const& styleSheet, double factor) {
    return scaleUrls(scaleLengths(styleSheet, factor), factor);
}

void UiScale::apply(QWidget* root) { apply(root, factor()); }

void UiScale::apply(QWidget* root, double factor) {
    if (!root || factor == 1.0) return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.append(root);
    for (QWidget* w : widgets) {
        if (w != root) w->move(scaled(w->x(), factor), scaled(w->y(), factor));
        // A limited maximum (a fixed-size form) grows with the rest, or it
        // would clamp the scaled size.
        QSize max = w->maximumSize();
        if (max.width() < QWIDGETSIZE_MAX || max.height() < QWIDGETSIZE_MAX)
            w->setMaximumSize(scaledLimit(max.width(), factor), scaledLimit(max.height(), factor));
        w->resize(scaled(w->width(), factor), scaled(w->height(), factor));
        w->setMinimumSize(scaled(w->minimumWidth(), factor), scaled(w->minimumHeight(), factor));
        QString sheet = w->styleSheet();
        if (!sheet.isEmpty()) w->setStyleSheet(scaleStyleSheet(sheet, factor));
    }
}
