#include "app/gui/BlockingCallRunner.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "app/gui/PendingDialog.h"
#include "support/GuiTest.h"
#include "support/Wait.h"

namespace {

// The busy windows that exist now among the window's children.
QList<PendingDialog*> busyWindows(QWidget* window) { return window->findChildren<PendingDialog*>(); }

}  // namespace

class BlockingCallRunnerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void resultComesBackFromAnotherThread() {
        QWidget window;
        BlockingCallRunner runner(&window);
        for (bool wanted : {true, false}) {
            std::thread::id worker;
            bool result = runner.executeResult(QStringLiteral("正在保存"), [&] {
                worker = std::this_thread::get_id();
                return wanted;
            });
            QCOMPARE(result, wanted);
            QVERIFY(worker != std::thread::id());
            QVERIFY(worker != std::this_thread::get_id());
        }
        QCOMPARE(runner.depth(), 0);
    }

    void busyWindowShowsTheTextWhileTheCallRunsAndGoesAfterwards() {
        QWidget window;
        window.setGeometry(100, 100, 730, 522);
        window.show();
        BlockingCallRunner runner(&window);
        std::atomic<bool> release{false};
        QString seenText;
        bool seenVisible = false;
        QPoint seenPos;
        // The GUI thread keeps running timers while the action blocks; the
        // timer looks at the busy window and then lets the action end.
        QTimer::singleShot(50, [&] {
            auto windows = busyWindows(&window);
            if (windows.size() == 1) {
                seenText = windows[0]->text();
                seenVisible = windows[0]->isVisible();
                seenPos = windows[0]->pos();
            }
            release = true;
        });
        runner.execute(QStringLiteral("正在获取列表"),
                       [&] { gt::test::waitFor([&] { return release.load(); }); });
        QVERIFY(release);
        QCOMPARE(seenText, QStringLiteral("正在获取列表"));
        QVERIFY(seenVisible);
        QCOMPARE(seenPos, window.pos() + QPoint(365 - 165, 261 - 35));
        QVERIFY(busyWindows(&window).isEmpty());
    }

    void emptyTextShowsNothingAndStillWaits() {
        QWidget window;
        window.show();
        BlockingCallRunner runner(&window);
        std::atomic<bool> release{false};
        std::atomic<bool> finished{false};
        bool anyVisible = true;
        QTimer::singleShot(50, [&] {
            anyVisible = false;
            for (auto w : busyWindows(&window))
                anyVisible = anyVisible || w->isVisible();
            release = true;
        });
        runner.execute(QString(), [&] {
            gt::test::waitFor([&] { return release.load(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        });
        QVERIFY(finished);
        QVERIFY(!anyVisible);
    }

    void exceptionReachesTheCallerAfterTheJoin() {
        QWidget window;
        BlockingCallRunner runner(&window);
        bool caught = false;
        try {
            runner.execute(QStringLiteral("x"), [] { throw std::runtime_error("cloud gone"); });
        } catch (std::runtime_error const& e) {
            caught = QString::fromUtf8(e.what()) == QStringLiteral("cloud gone");
        }
        QVERIFY(caught);
        QCOMPARE(runner.depth(), 0);
        QVERIFY(busyWindows(&window).isEmpty());
    }

    void callsNest() {
        QWidget window;
        BlockingCallRunner runner(&window);
        std::atomic<bool> innerDone{false};
        int depthInside = 0;
        QTimer::singleShot(20, [&] {
            depthInside = runner.depth();
            runner.execute(QStringLiteral("inner"), [&] { innerDone = true; });
        });
        bool outer = runner.executeResult(
            QStringLiteral("outer"), [&] { return gt::test::waitFor([&] { return innerDone.load(); }); });
        QVERIFY(outer);
        QCOMPARE(depthInside, 1);
        QCOMPARE(runner.depth(), 0);
    }

    // Showing the busy window processes events once before the worker
    // starts: a timer that is already due runs there and must see the call
    // counted (a zero timer is due at the first event processing).
    void depthCountsTheCallFromTheBusyWindowsFirstEvents() {
        QWidget window;
        window.show();
        BlockingCallRunner runner(&window);
        int depthInside = -1;
        QTimer::singleShot(0, [&] { depthInside = runner.depth(); });
        runner.execute(QStringLiteral("outer"), [] {});
        QCOMPARE(depthInside, 1);
        QCOMPARE(runner.depth(), 0);
    }

    void windowAndRunnerMayGoAwayDuringACall() {
        auto window = new QWidget();
        window->show();
        auto runner = new BlockingCallRunner(window);
        std::atomic<bool> release{false};
        QTimer::singleShot(20, [&] {
            delete runner;  // the main window going away mid-call
            delete window;
            release = true;
        });
        runner->execute(QStringLiteral("正在退出"),
                        [&] { gt::test::waitFor([&] { return release.load(); }); });
        QVERIFY(release);
    }
};

GT_GUI_TEST_MAIN(BlockingCallRunnerTest)
#include "BlockingCallRunner_test.moc"
