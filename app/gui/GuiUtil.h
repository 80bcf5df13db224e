// What every window of the desktop client shares besides its frame: the
// text conversions (app/util/QtText), opening links, the
// accent colour, the number and traffic formats and the main window's style.
#pragma once

#include <QColor>
#include <QString>

#include "app/util/QtText.h"
#include "gt/core/lang/String.h"

// The windows convert through the client's one conversion.
using tunnel::fromQString;
using tunnel::toQString;

// A tooltip that shows text from outside exactly as it is. Qt guesses a
// tooltip's format: text that looks like markup is escaped into rich text,
// other text is passed through unchanged.
QString plainToolTip(QString const& text);

// Opens an already encoded URL (UTF-8 bytes of the text) with the desktop's
// handler; "app:" links come back to the handler the main window registers.
// False when no handler took the link (InformationDialog::openLink tells the user).
bool openUrl(QString const& url);

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
