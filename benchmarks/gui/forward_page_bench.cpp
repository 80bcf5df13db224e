// forward_page_bench: the mapping page of the desktop client filled with a
// generated account of many forwards on this computer (1000 unless given).
// It times the page's reload: the cloud call waits behind the busy window,
// whose loop keeps the events going, then the table fill runs on the GUI
// thread alone; it prints the whole reload, the fill, and the longest pause
// of the event loop during a reload. Then the time of one status tick: the
// merge of a status report with the forward records and the writes of the
// two status cells of every row, as the main window's tick makes them. Runs
// offscreen against the test cloud (tests/peers/cloud.py) with the real
// QvrSvr beside it; prints the median and the 90th percentile, for the
// ticks once for reports whose values change every tick and once for a
// report that stays the same.
#include <stdlib.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/ForwardStatus.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/MainWindow.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "support/GuiClient.h"
#include "support/TempDir.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;

namespace {

constexpr int kTicks = 200;
constexpr int kReloads = 20;
constexpr int kLoginMs = 30000;
constexpr long long kFirstId = 1000;

// The account: this computer (device 10) with count tcp forwards.
std::string generatedState(int count) {
    std::string forwards;
    for (int i = 0; i < count; ++i) {
        if (i) forwards += ",";
        long long const id = kFirstId + i;
        forwards += "{\"id\": " + std::to_string(id) +
                    ", \"device_id\": 10, \"node_id\": 1, \"label\": \"forward " + std::to_string(i) +
                    "\", \"protocol\": \"tcp\", \"host_prefix\": \"demo\", \"host_domain\": " +
                    "\"qvr.test\", \"server_port\": " + std::to_string(20000 + i) +
                    ", \"client_host\": \"127.0.0.1\", \"client_port\": " + std::to_string(1024 + i) +
                    ", \"bandwidth\": " + std::to_string(i % 3) + "}";
    }
    return "{\"encryption\": \"tea(qvdemo)\", \"accounts\": [{\"id\": 1, \"name\": \"8613800000000\", "
           "\"pwd\": \"demo-password\", \"prefixes\": [\"demo\"]}], "
           "\"devices\": [{\"id\": 10, \"user_id\": 1, \"token\": \"t\", \"label\": \"this computer\"}], "
           "\"regions\": [{\"id\": 1, \"label\": \"r\", \"support_tcp\": true}], "
           "\"nodes\": [{\"id\": 1, \"region_id\": 1, \"servers\": [\"127.0.0.1:9\"], \"domains\": "
           "[\"qvr.test\"]}], "
           "\"forwards\": [" +
           forwards + "]}";
}

// A report as the service writes it; tick moves the values so that cells
// change (pings in and out of the busy and negative ranges, errors on and off).
Array<Any> statusReport(int count, int tick) {
    Array<Any> entries;
    for (int i = 0; i < count; ++i) {
        Dictionary<Any> entry;
        entry.set(u"id", Any(kFirstId + i));
        int const phase = (i + tick) % 7;
        entry.set(u"ping", Any(phase == 0 ? -1 : phase == 1 ? 10000 : 10 * phase + tick % 5));
        entry.set(u"channels", Any((i + tick) % 4));
        if (phase == 0) entry.set(u"error", Any(gt::core::String(u"relay refused")));
        entries.add(Any(entry));
    }
    return entries;
}

struct Figures {
    double median;
    double p90;
};

// The longest pause between two turns of the event loop while it lives,
// counting the pause still open when asked.
class LoopGap {
public:
    LoopGap() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.nsecsElapsed());
            m_clock.restart();
        });
        m_timer.start(0);
    }
    double longestMs() const { return std::max(m_longest, m_clock.nsecsElapsed()) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

Figures figures(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10]};
}

}  // namespace

static gt::test::GuiClientHome const s_home;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int const count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    gt::test::GuiClient client;
    gt::test::TempDir dir;
    std::string const path = dir.path("state.json");
    std::ofstream(path) << generatedState(count);
    if (client.cloud().command("{\"cmd\": \"load\", \"state\": {\"path\": \"" + path + "\"}}") != "ok") {
        std::fprintf(stderr, "the test cloud did not take the generated account\n");
        return 1;
    }
    tunnel::EncryptedProperties settings = gt::test::GuiClient::settings();
    settings.set(u"device.id", u"10");
    gt::test::GuiClient::saveAccount(gt::test::GuiClient::NAME, gt::test::GuiClient::PASSWORD);
    std::unique_ptr<MainWindow> window = client.open();
    if (!window || !QTest::qWaitFor([&] { return window->isLoggedIn(); }, kLoginMs)) {
        std::fprintf(stderr, "no login within %d ms\n", kLoginMs);
        return 1;
    }
    // Only the benchmark hands reports to the page.
    window->svrControl()->killConsole();
    ForwardManageWidget* page = window->forwardWidget();
    QElapsedTimer load;
    load.start();
    page->showPage();
    double const loadMs = load.nsecsElapsed() / 1e6;
    QTableWidget* table = page->findChild<QTableWidget*>("tableForward");
    if (!table || table->rowCount() != count) {
        std::fprintf(stderr, "the page shows %d rows, not %d\n", table ? table->rowCount() : -1, count);
        return 1;
    }

    // The fill runs on the GUI thread after the cloud's answer: from the
    // table's first change to the page's statusWanted, which it emits once
    // the table is whole (the window's status read it starts runs first).
    std::vector<double> reloadMs, pauseMs, fillMs;
    QElapsedTimer fillClock;
    bool filling = false;
    auto const fillStarts = [&] {
        if (filling) return;
        filling = true;
        fillClock.start();
    };
    QAbstractItemModel* model = table->model();
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, fillStarts);
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, fillStarts);
    QObject::connect(model, &QAbstractItemModel::dataChanged, fillStarts);
    QObject::connect(page, &ForwardManageWidget::statusWanted, [&] {
        if (filling) fillMs.push_back(fillClock.nsecsElapsed() / 1e6);
        filling = false;
    });
    for (int i = 0; i < kReloads; ++i) {
        QElapsedTimer timer;
        timer.start();
        double pause = 0;
        {
            LoopGap meter;
            page->reload();
            pause = meter.longestMs();
        }
        reloadMs.push_back(timer.nsecsElapsed() / 1e6);
        pauseMs.push_back(pause);
        QApplication::processEvents();
    }
    if (static_cast<int>(fillMs.size()) != kReloads || table->rowCount() != count) {
        std::fprintf(stderr, "%d of %d reloads filled the table\n", static_cast<int>(fillMs.size()),
                     kReloads);
        return 1;
    }

    std::vector<Array<Any> > changing;
    for (int tick = 0; tick < kTicks; ++tick)
        changing.push_back(statusReport(count, tick));
    std::vector<double> changingMs, steadyMs, mergeMs;
    for (int tick = 0; tick < kTicks; ++tick) {
        QElapsedTimer timer;
        timer.start();
        page->updateStatus(changing[tick]);
        changingMs.push_back(timer.nsecsElapsed() / 1e6);
        // The page paints between ticks, as it would on screen.
        QApplication::processEvents();
    }
    for (int tick = 0; tick < kTicks; ++tick) {
        QElapsedTimer timer;
        timer.start();
        page->updateStatus(changing[0]);
        steadyMs.push_back(timer.nsecsElapsed() / 1e6);
        QApplication::processEvents();
    }
    for (int tick = 0; tick < kTicks; ++tick) {
        QElapsedTimer timer;
        timer.start();
        Array<tunnel::ForwardStatus> rows = tunnel::ForwardStatus::merge(changing[tick], page->forwards(), 0);
        mergeMs.push_back(timer.nsecsElapsed() / 1e6);
        if (rows.count() != count) return 1;
    }
    Figures const reloads = figures(reloadMs), pauses = figures(pauseMs), fills = figures(fillMs);
    Figures const change = figures(changingMs), steady = figures(steadyMs), merge = figures(mergeMs);
    std::printf("forwards: %d, page load (enum_forwards and table fill): %.1f ms\n", count, loadMs);
    std::printf("reload (call and fill):       median %.1f ms, p90 %.1f ms\n", reloads.median, reloads.p90);
    std::printf("table fill:                   median %.1f ms, p90 %.1f ms\n", fills.median, fills.p90);
    std::printf("longest event-loop pause:     median %.1f ms, p90 %.1f ms\n", pauses.median, pauses.p90);
    std::printf("status tick, changing report: median %.2f ms, p90 %.2f ms\n", change.median, change.p90);
    std::printf("status tick, same report:     median %.2f ms, p90 %.2f ms\n", steady.median, steady.p90);
    std::printf("merge alone (no cells):       median %.2f ms, p90 %.2f ms\n", merge.median, merge.p90);
    client.reset(window);
    return 0;
}
