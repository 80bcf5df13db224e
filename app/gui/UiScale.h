// Scaling of the client's forms to the screen: positions, sizes, style-sheet
// lengths and the choice of image variants.
//
// Qt 6 scales windows itself by the device pixel ratio and then reports a
// logical DPI near 96, so the factor taken from the logical DPI is 1 whenever
// Qt does the scaling; it differs from 1 only where Qt leaves the scaling to
// us (high-DPI scaling turned off). The two never scale the same window twice.
//
// Images come in variants named by imageName(): "x.png" for 96 DPI and
// "x@1.25x.png", "x@1.5x.png", "x@2x.png".
#pragma once

#include <QString>

#include "gt/core/lang/String.h"

class QWidget;

class UiScale {
public:
    static constexpr double BASE_DPI = 96.0;

    // The primary screen's logical horizontal DPI / 96 (1 without a screen),
    // unless setFactor() fixed it.
    static double factor();
    // Fixes the factor (tests, a user's choice); 0 or less follows the screen again.
    static void setFactor(double factor);

    // factor × value: its integer part when that is even, else rounded to the
    // nearest integer (halves away from zero). With 1.25: 40 → 50, 11 → 14, 9 → 11.
    static int scaled(double value);
    static int scaled(double value, double factor);

    // The name for a factor f: unchanged for f <= 1, else every ".png" becomes
    // "@" + f ("%.15lg") + "x.png".
    static gt::core::String imageName(gt::core::String const& name, double factor);
    // The first existing file or resource among the names for f, 2, 1.75, 1.5
    // and 1.25; the name unchanged when none exists.
    static gt::core::String findImage(gt::core::String const& name, double factor);
    // findImage() with the current factor().
    static gt::core::String image(gt::core::String const& name);

    // A style sheet for the factor: lengths written " Npx" with N below 100
    // scaled (rounded, halves away from zero), and every url(...) unquoted and
    // trimmed, a resource path (":...") replaced by its image for the factor,
    // an empty url() removed.
    static QString scaleStyleSheet(QString const& styleSheet, double factor);

    // Scales a whole form built for 96 DPI: every descendant widget's position,
    // then each widget's (and the root's) size, minimum and limited maximum size
    // and own style sheet. Nothing for a null root or a factor of exactly 1.
    static void apply(QWidget* root);
    static void apply(QWidget* root, double factor);

private:
    static double s_factor;
};
