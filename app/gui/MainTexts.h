// The rich texts of the main window that depend on state: the status line
// and the account summary. Kept apart from the widgets so that their rules
// can be checked without a window. Every text that did not come from this
// program (the binding state of the device page) is escaped.
#pragma once

#include <QString>

#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/QuotaInfo.h"

class MainTexts {
public:
    // The repair links of the status line; the window's link handler runs
    // the environment check they name.
    static char const* const REPAIR_SVR_LINK;     // "app:///repair?type=svr"
    static char const* const REPAIR_DEVICE_LINK;  // "app:///repair?type=device"

    // The status line: "Quorvane正在运行" while the service program runs and
    // this computer's binding is fine; the binding problem with its repair
    // link while it runs with one; the service failure with its repair link
    // while it does not run.
    static QString statusLine(bool serviceRunning, QString const& bindingText);

    // The account dialog's three lines: free and bought traffic left, and
    // the plan's remaining days, each with its store link.
    static QString accountSummary(tunnel::QuotaInfo const& quota, tunnel::Plan const& plan);
};
