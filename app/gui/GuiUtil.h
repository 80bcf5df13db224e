// What every window of the desktop client shares besides its frame: text
// conversions between the library's strings and Qt's, opening links, the
// accent colour, the number and traffic formats and the main window's style.
#pragma once

#include <QColor>
#include <QString>

#include "gt/core/lang/String.h"

// The characters of the String up to its first NUL.
QString toQString(gt::core::String const& text);
// All characters of the QString; the String ends at the first NUL.
gt::core::String fromQString(QString const& text);

// Opens an already encoded URL (UTF-8 bytes of the text) with the desktop's
// handler; "app:" links come back to the handler the main window registers.
// False when no handler took the link (WebLinks::open tells the user).
bool openUrl(QString const& url);

// A tool tip that shows text from the cloud or the user as it is: Qt reads
// a tip that looks like markup as rich text, so the text goes in escaped,
// inside a paragraph that keeps its spaces and line breaks.
QString plainToolTip(QString const& text);

// The accent colour "#FFA924".
QColor themeColor();

// 0 decimals from 100 on, 1 from 10, 2 from 0.01; anything smaller (0,
// negative, not a number) is "0". Locale-free.
gt::core::String formatNumber(double value);
// Bytes in " M" (units of 2^20) below 2^30 bytes, else in " G" (2^30).
gt::core::String formatTraffic(long long bytes);

// The main window's style sheet, which its pages inherit: fonts, colours,
// combo boxes, menus, scroll bars and tab panes.
QString mainStyleSheet();
