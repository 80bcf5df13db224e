#include "app/gui/ModalWidget.h"

#include <QPointer>
#include <QTimer>

#include "support/GuiTest.h"

namespace {

// Runs f from the event loop that exec() runs, once.
void soon(std::function<void()> f) { QTimer::singleShot(0, f); }

}  // namespace

class ModalWidgetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void acceptAndRejectEndExec() {
        struct Case {
            char const* name;
            bool accept;
            int result;
        } const cases[] = {{"accept", true, 1}, {"reject", false, 0}};
        for (auto const& c : cases) {
            QWidget window;
            ModalWidget panel(&window);
            bool visibleInside = false;
            soon([&] {
                visibleInside = panel.isVisible() && panel.isRunning();
                c.accept ? panel.accept() : panel.reject();
            });
            window.show();
            QVERIFY2(panel.exec() == c.result, c.name);
            QVERIFY2(visibleInside, c.name);
            QVERIFY2(!panel.isVisible(), c.name);
            QVERIFY2(!panel.isRunning(), c.name);
        }
    }

    void acceptOrRejectOutsideExecDoesNothing() {
        QWidget window;
        ModalWidget panel(&window);
        window.show();
        panel.show();
        panel.accept();
        QVERIFY(panel.isVisible());
        panel.reject();
        QVERIFY(panel.isVisible());
        // And a later exec is not ended by them.
        soon([&] { panel.accept(); });
        QCOMPARE(panel.exec(), 1);
    }

    void execWhileRunningReturnsZeroAndLeavesTheLoopAlone() {
        ModalWidget panel;
        int inner = -1;
        bool stillRunning = false;
        soon([&] {
            inner = panel.exec();
            stillRunning = panel.isRunning();
            panel.accept();
        });
        QCOMPARE(panel.exec(), 1);
        QCOMPARE(inner, 0);
        QVERIFY(stillRunning);
    }

    void deletingTheWidgetDuringExecEndsIt() {
        // The panel's window goes away while the panel waits (the program
        // closing over the login panel): exec returns 0 and touches nothing.
        auto window = new QWidget();
        QPointer<ModalWidget> panel = new ModalWidget(window);
        window->show();
        soon([window] { delete window; });
        QCOMPARE(panel->exec(), 0);
        QVERIFY(panel.isNull());
    }

    void deleteLaterDuringExecEndsIt() {
        QPointer<ModalWidget> panel = new ModalWidget();
        soon([&] { panel->deleteLater(); });
        // deleteLater is carried out by exec's own loop.
        QCOMPARE(panel->exec(), 0);
        QVERIFY(panel.isNull());
    }

    void deleteOnCloseAfterAccept() {
        QPointer<ModalWidget> panel = new ModalWidget();
        panel->setAttribute(Qt::WA_DeleteOnClose);
        soon([&] { panel->accept(); });
        QCOMPARE(panel->exec(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(panel.isNull(), 5000);
    }

    void applicationModal() {
        ModalWidget panel;
        QCOMPARE(panel.windowModality(), Qt::ApplicationModal);
    }

    // Last: once the application was told to exit, no event loop of this
    // process runs again.
    void quittingTheApplicationEndsExecWithZero() {
        ModalWidget panel;
        soon([] { QCoreApplication::exit(3); });
        QCOMPARE(panel.exec(), 0);
        QVERIFY(!panel.isRunning());
    }
};

GT_GUI_TEST_MAIN(ModalWidgetTest)
#include "ModalWidget_test.moc"
