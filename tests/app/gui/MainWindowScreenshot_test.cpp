// The main window on a real X server (Xvfb, see tests/helpers/xvfb_run.py)
// after a login, saved as a picture: main-window.png in $GT_SCREENSHOT_DIR,
// else in the current folder. The README shows the copy in docs/screenshots/,
// made by running this test with GT_SCREENSHOT_DIR pointing there.
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/gui/MainWindow.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"

using gt::test::GuiClient;

class MainWindowScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void mainWindowAfterLogin() {
        QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
        GuiClient env;
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        std::unique_ptr<MainWindow> window = env.open();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), 30000));
        QLabel* status = window->findChild<QLabel*>("labelMain");
        QPushButton* account = window->findChild<QPushButton*>("btnAccount");
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("Quorvane正在运行"), 30000);
        QTRY_COMPARE(account->text(), QString(GuiClient::CLOUD_NAME));

        QImage const picture = window->grab().toImage();
        QCOMPARE(picture.size(), window->size() * window->devicePixelRatio());
        // The body is drawn: its centre is the opaque dark grey of the form.
        QColor const body = picture.pixelColor(picture.width() / 2, picture.height() - 30);
        QCOMPARE(body.alpha(), 255);
        // Xvfb runs no compositing manager: no see-through shadow margin,
        // which would show black around the window.
        QCOMPARE(picture.pixelColor(0, 0).alpha(), 255);
        QCOMPARE(window->size(), window->body()->size());

        QByteArray const dir = qgetenv("GT_SCREENSHOT_DIR");
        QString const folder = dir.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(dir);
        QVERIFY(QDir().mkpath(folder));
        QString const path = folder + "/main-window.png";
        QVERIFY2(picture.save(path, "PNG"), qPrintable(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
};

GT_GUI_CLIENT_TEST_MAIN(MainWindowScreenshotTest)
#include "MainWindowScreenshot_test.moc"
