// The main window against the test cloud and the real service program: the
// status line and its repair links, a second start, hiding without a tray,
// the menus, the update prompts, the account dialog, the status reads and
// what the pages tell it; and its texts alone.
#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/gui/AclManageWidget.h"
#include "app/gui/DeviceManageWidget.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/LoginWidget.h"
#include "app/gui/MainTexts.h"
#include "app/gui/MainWindow.h"
#include "gt/core/io/File.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/util/TickClock.h"
#include "support/DialogWatcher.h"
#include "support/FakeClock.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"
#include "support/ShownText.h"

using gt::test::DialogWatcher;
using gt::test::GuiClient;

namespace {

constexpr int kLoginMs = 30000;
constexpr char kRunning[] = "Quorvane正在运行";

QString plain(QString const& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    QLabel* statusLine() { return m_window->findChild<QLabel*>("labelMain"); }

    static QString statusFile() { return toQString(tunnel::ClientConstants::STATUS_FILE()); }
    static qint64 reportSize() { return QFileInfo(statusFile()).size(); }
    // Puts a report into the status mailbox as the service program would.
    static bool putReport(QByteArray const& text) {
        QFile report(statusFile());
        return report.open(QIODevice::WriteOnly | QIODevice::Truncate) && report.write(text) == text.size();
    }

    // Returns once the window's tick has run in full: every tick of a
    // logged-in window rewrites the status line before its status read.
    void awaitTick() {
        statusLine()->setText("-");
        QTRY_VERIFY(statusLine()->text() != "-");
    }

    void openLoggedIn() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }
    void cleanup() { m_env->reset(m_window); }

    void statusLineText_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("binding");
        QTest::addColumn<QString>("html");
        QTest::newRow("running, bound") << true << "" << kRunning;
        QTest::newRow("running, not bound")
            << true << "本设备未加入"
            << "<span>本设备未加入 <a href='app:///repair?type=device'><font color='#CE891D'>"
               "<small>点击修复</small></font></a></span>";
        QTest::newRow("binding text escaped")
            << true << "<b>x</b>"
            << "<span>&lt;b&gt;x&lt;/b&gt; <a href='app:///repair?type=device'><font color='#CE891D'>"
               "<small>点击修复</small></font></a></span>";
        QTest::newRow("not running")
            << false << "本设备未加入"
            << "<span>后台组件异常 <a href='app:///repair?type=svr'><font color='#CE891D'>"
               "<small>点击修复</small></font></a></span>";
    }
    void statusLineText() {
        QFETCH(bool, running);
        QFETCH(QString, binding);
        QFETCH(QString, html);
        QCOMPARE(MainTexts::statusLine(running, binding), html);
    }

    void accountSummary_data() {
        QTest::addColumn<qlonglong>("freeUsed");
        QTest::addColumn<qlonglong>("freeLimit");
        QTest::addColumn<qlonglong>("paidLimit");
        QTest::addColumn<qlonglong>("remain");
        QTest::addColumn<QString>("text");
        qlonglong const gib = 1LL << 30;
        QTest::newRow("fresh account")
            << 0LL << gib << 0LL << 0LL << "免费流量：1.00 G\n已购流量：0 M 加购\n套餐剩余：无套餐 升级";
        QTest::newRow("used above limit") << 2 * gib << gib << 5 * gib << 86399LL
                                          << "免费流量：0 M\n已购流量：5.00 G 加购\n套餐剩余：0 天 续期";
        QTest::newRow("thirty days") << (100LL << 20) << gib << (100LL << 20) << 30 * 86400LL
                                     << "免费流量：924 M\n已购流量：100 M 加购\n套餐剩余：30 天 续期";
    }
    void accountSummary() {
        QFETCH(qlonglong, freeUsed);
        QFETCH(qlonglong, freeLimit);
        QFETCH(qlonglong, paidLimit);
        QFETCH(qlonglong, remain);
        QFETCH(QString, text);
        tunnel::QuotaInfo quota;
        quota.used.traffic_free = freeUsed;
        quota.limit.traffic_free = freeLimit;
        quota.limit.traffic_paid = paidLimit;
        tunnel::Plan plan;
        plan.remain = remain;
        QString const html = MainTexts::accountSummary(quota, plan);
        QCOMPARE(plain(html), text);
        // Each store link is a single-quoted anchor.
        QCOMPARE(html.count("<a href='"), 2);
    }

    void statusLineFollowsTheServiceAndItsRepairLink() {
        openLoggedIn();
        QTRY_COMPARE_WITH_TIMEOUT(statusLine()->text(), QString(kRunning), kLoginMs);

        m_window->svrControl()->killConsole();
        QTRY_VERIFY(statusLine()->text().contains("后台组件异常"));
        QVERIFY(statusLine()->text().contains("app:///repair?type=svr"));

        // A repair link that names a host is not ours.
        QDesktopServices::openUrl(QUrl("app://elsewhere/repair?type=svr"));
        QTest::qWait(300);
        QVERIFY(!m_window->svrControl()->isRunning());

        QDesktopServices::openUrl(QUrl("app:///repair?type=svr"));
        QTRY_COMPARE_WITH_TIMEOUT(statusLine()->text(), QString(kRunning), kLoginMs);
    }

    void secondStartEndsWithTwoAndBringsTheFirstToFront() {
        openLoggedIn();
        m_window->hide();
        QProcess second;
        second.start(toQString(gt::core::getProgramDirectory()) + "/Quorvane", {"--minimize=true"});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 2);
        QTRY_VERIFY(m_window->isVisible() && !m_window->isMinimized());
        QTRY_VERIFY(!gt::core::File::isFile(tunnel::ClientConstants::ACTIVED_FILE()));
    }

    // A lock that no instance holds and that still cannot be had: the
    // program names the system's cause (and waits in its warning), never
    // "already running", and asks no client to come to the front.
    void lockThatCannotBeHadSaysItsCause() {
        QString const lockPath = toQString(tunnel::ClientConstants::APP_LOCK_FILE());
        QVERIFY(QDir().mkpath(lockPath + "/kept"));
        QProcess client;
        client.start(toQString(gt::core::getProgramDirectory()) + "/Quorvane", {});
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += client.readAllStandardError()).contains('\n') ||
                                     client.state() == QProcess::NotRunning,
                                 30000);
        bool const ended = client.state() == QProcess::NotRunning;
        if (!ended) {
            client.kill();
            client.waitForFinished(30000);
        }
        bool const kept = QDir(lockPath + "/kept").exists();
        QDir(lockPath).removeRecursively();
        QVERIFY2(errors.contains("cannot start") && errors.contains("Is a directory"), errors.constData());
        QVERIFY(!ended || client.exitCode() == 1);
        QVERIFY(kept);
        QVERIFY(!gt::core::File::isFile(tunnel::ClientConstants::ACTIVED_FILE()));
    }

    // The status mailbox is read every 3 s, and only while the window shows.
    void statusReportIsReadOnlyWhileTheWindowShows() {
        openLoggedIn();
        // The service program would answer requests itself.
        m_window->svrControl()->killConsole();
        m_window->hide();
        QByteArray const text = "{\"forwards\":[{\"id\":100,\"ping\":12,\"channels\":1}]}";
        QVERIFY(putReport(text));

        // From here the window's timers move only when the test steps them.
        gt::test::FakeClock clock(gt::core::getTickCount());
        // More than one status period passes while hidden.
        clock.advance(MainWindow::STATUS_INTERVAL_MS + 500);
        awaitTick();
        QCOMPARE(reportSize(), text.size());

        m_window->show();
        // The period began anew at the hidden tick: no read before it ends.
        awaitTick();
        QCOMPARE(reportSize(), text.size());
        clock.advance(MainWindow::STATUS_INTERVAL_MS);
        // Read and emptied: the next request is pending.
        QTRY_COMPARE(reportSize(), 0);
    }

    // The mapping page that comes to show this computer's forwards asks for
    // the service's report at once instead of waiting for the next read.
    void mappingPageReadsTheReportAsItShowsThisComputer() {
        openLoggedIn();
        m_window->svrControl()->killConsole();
        QVERIFY(putReport("{\"forwards\":[{\"id\":100,\"ping\":12,\"channels\":3}]}"));
        ForwardManageWidget* page = m_window->forwardWidget();
        page->showPage();
        // No tick ran since the report was written: the page's wish read it.
        QCOMPARE(reportSize(), 0);
        QVERIFY(page->isLocalDevice());
        QCOMPARE(page->forwards().count(), 1);
        QTableWidget const* table = page->findChild<QTableWidget*>("tableForward");
        QCOMPARE(table->item(0, ForwardManageWidget::COLUMN_PING)->text(), QString("12ms"));
        QCOMPARE(table->item(0, ForwardManageWidget::COLUMN_CHANNELS)->text(), QString("3"));
    }

    // The pages' minimise buttons and the login panel's close button act on
    // the window, which connects them.
    void pageButtonsActOnTheWindow() {
        openLoggedIn();
        QWidget* const pages[] = {m_window->forwardWidget(), m_window->deviceWidget(), m_window->aclWidget()};
        for (QWidget* page : pages) {
            QAbstractButton* minimize = page->findChild<QAbstractButton*>("btnMin");
            QVERIFY2(minimize, qPrintable(page->objectName()));
            minimize->click();
            QVERIFY2(m_window->isMinimized(), qPrintable(page->objectName()));
            m_window->showNormal();
            QTRY_VERIFY(!m_window->isMinimized());
        }
        QAbstractButton* close = m_window->loginWidget()->findChild<QAbstractButton*>("btnClose");
        QVERIFY(close);
        close->click();
        QVERIFY(!m_window->isVisible());
    }

    void closeButtonEndsWhenLoggedOutAndNeverStrandsTheWindow() {
        m_window = m_env->open();
        // Before the first tick nobody is logged in: the window closes.
        QTest::mouseClick(m_window->findChild<QToolButton*>("btnClose"), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        m_window.reset();
        GuiClient::clearData();

        openLoggedIn();
        QTest::mouseClick(m_window->findChild<QToolButton*>("btnClose"), Qt::LeftButton);
        if (m_window->hasTray()) {
            QVERIFY(!m_window->isVisible());
        } else {
            // Without a tray it is minimised instead of hidden.
            QVERIFY(m_window->isVisible());
            QVERIFY(m_window->isMinimized());
        }
    }

    void trayMenuTextsFollowTheState() {
        openLoggedIn();
        QMenu* menu = nullptr;
        for (QMenu* candidate : m_window->findChildren<QMenu*>())
            for (QAction* action : candidate->actions())
                if (action->text() == "更换登录") menu = candidate;
        QVERIFY(menu);
        // The texts are set each time the menu opens.
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator()) texts << action->text();
        QCOMPARE(texts, (QStringList{"隐藏主界面", "设置", "检测版本更新", "访问官网", "控制台", "加购升级",
                                     "帮助中心", "更换登录", "退出并关闭映射"}));
    }

    // A cloud whose records hold markup: every label, tooltip and cell of
    // the window and its pages shows it as text; none interprets it.
    void markupFromTheCloudIsShownAsText() {
        QString const hostile = QStringLiteral("<img src=\"/dev/zero\">");
        m_env->cloud().command(
            "put devices {\"id\": 10, \"user_id\": 1, \"token\": \"demo-device-token\", "
            "\"label\": \"<img src=\\\"/dev/zero\\\">\", \"create_ip\": \"<b>ip</b>\", "
            "\"login_ip\": \"<i>ip</i>\", \"create_time\": 1700000000, \"reload_time\": 1700000000}");
        m_env->cloud().command(
            "put forwards {\"id\": 100, \"device_id\": 10, \"node_id\": 1, "
            "\"label\": \"<img src=\\\"/dev/zero\\\">\", \"protocol\": \"tcp\", "
            "\"address\": \"127.0.0.1:8080\", \"access_key\": \"k\", \"server_port\": 0, "
            "\"bandwidth\": 1, \"acl_id\": -1}");
        // The account's name on its button: markup and ampersands as sent.
        QString const name = QStringLiteral("<b>a&amp;b</b> & &c");
        m_env->cloud().command(
            "{\"cmd\": \"fault\", \"kind\": \"result\", \"method\": \"query_my_user\", "
            "\"value\": {\"user\": {\"id\": 1, \"name\": \"<b>a&amp;b</b> & &c\"}}}");
        openLoggedIn();
        QTRY_COMPARE(gt::test::shownText(m_window->findChild<QPushButton*>("btnAccount")), name);
        QStringList shown;
        auto sweep = [&] {
            for (QLabel* label : m_window->findChildren<QLabel*>()) {
                if (gt::test::shownAsRichText(label->text(), label->textFormat()))
                    QVERIFY2(!label->text().contains("<img") && !label->text().contains("<b>ip"),
                             qPrintable(label->objectName() + ": " + label->text()));
                shown << gt::test::shownText(label);
            }
            auto markupShown = [](QString const& toolTip) {
                return gt::test::shownAsRichText(toolTip) && toolTip.contains("<img");
            };
            for (QWidget* widget : m_window->findChildren<QWidget*>())
                QVERIFY2(!markupShown(widget->toolTip()), qPrintable(widget->objectName()));
            for (QTableWidget* table : m_window->findChildren<QTableWidget*>())
                for (int row = 0; row < table->rowCount(); ++row)
                    for (int column = 0; column < table->columnCount(); ++column)
                        if (QTableWidgetItem* item = table->item(row, column)) {
                            shown << item->text();
                            QVERIFY2(!markupShown(item->toolTip()), qPrintable(item->toolTip()));
                        }
        };
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnDevice"), Qt::LeftButton);
        QTRY_VERIFY(m_window->deviceWidget()->isVisible());
        sweep();
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->deviceWidget()->isVisible());
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnForward"), Qt::LeftButton);
        QTRY_VERIFY(m_window->forwardWidget()->isVisible());
        sweep();
        // The device's and the forward's names, as the cloud sent them.
        QVERIFY2(shown.count(hostile) >= 2, qPrintable(shown.join(" | ")));
    }

    // A page covers the window's body; its minimise and close buttons lie
    // exactly over the window's own, so they do not jump when it slides in.
    void pageCaptionButtonsSitOnTheWindows() {
        m_window = m_env->open();
        QVERIFY(m_window);
        QWidget* body = m_window->body();
        QWidget* const pages[] = {m_window->forwardWidget(), m_window->deviceWidget(), m_window->aclWidget()};
        for (QWidget* page : pages) {
            QCOMPARE(page->size(), body->size());
            for (char const* name : {"btnMin", "btnClose"}) {
                QWidget* own = body->findChild<QToolButton*>(name, Qt::FindDirectChildrenOnly);
                QWidget* its = page->findChild<QToolButton*>(name);
                QVERIFY(own && its);
                QString const where = page->objectName() + "." + name;
                QVERIFY2(
                    its->geometry().translated(its->parentWidget()->mapTo(page, QPoint())) == own->geometry(),
                    qPrintable(where));
            }
        }
    }

    // Figures at the ends of their types in every record the pages show: the
    // pages fill their tables and the account summary counts without an
    // overflow (the sanitizer build stops at one).
    void extremeFiguresFromTheCloudAreShown() {
        m_env->cloud().command(
            "put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\", "
            "\"prefixes\": [\"demo\"], \"plan\": {\"remain\": 9223372036854775807, \"fields\": "
            "{\"forward\": -2147483648, \"bandwidth\": 2147483647, \"domain\": -1}}, \"quota\": "
            "{\"limit\": {\"traffic_free\": 9223372036854775807, \"traffic_paid\": -9223372036854775808, "
            "\"bandwidth\": 2147483647, \"bandwidth_float\": -2147483648}, \"used\": {\"traffic_free\": "
            "-9223372036854775808, \"traffic_paid\": 9223372036854775807, \"bandwidth\": -2147483648}}}");
        m_env->cloud().command(
            "put devices {\"id\": 10, \"user_id\": 1, \"token\": \"demo-device-token\", \"label\": \"d\", "
            "\"create_time\": -9223372036854775808, \"reload_time\": 9223372036854775807}");
        m_env->cloud().command(
            "put forwards {\"id\": 100, \"device_id\": 10, \"node_id\": 1, \"label\": \"f\", "
            "\"protocol\": \"tcp\", \"address\": \"127.0.0.1:65535\", \"access_key\": \"k\", "
            "\"server_port\": -2147483648, \"bandwidth\": 2147483647, \"acl_id\": 9223372036854775807}");
        m_env->cloud().command(
            "put acls {\"id\": 9223372036854775807, \"user_id\": 1, \"label\": \"a\", \"ip_filter\": "
            "\"disabled\", \"gateway\": \"enabled\", \"create_time\": 9223372036854775807, \"forwards\": "
            "2147483647, \"members\": [{\"expire_time\": -9223372036854775808}, {\"expire_time\": "
            "9223372036854775807}]}");
        openLoggedIn();
        m_window->deviceWidget()->showPage();
        QTRY_VERIFY(m_window->deviceWidget()->isVisible());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->deviceWidget()->isVisible());
        m_window->forwardWidget()->showPage();
        QTRY_VERIFY(m_window->forwardWidget()->isVisible());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->forwardWidget()->isVisible());
        QVERIFY(m_window->aclWidget()->showPage());
        QTRY_VERIFY(m_window->aclWidget()->isVisible());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->aclWidget()->isVisible());
        DialogWatcher dialogs;
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnAccount"), Qt::LeftButton);
        DialogWatcher::Seen const* summary = dialogs.find("账号状态");
        QVERIFY2(summary, qPrintable(dialogs.titles()));
        QVERIFY2(summary->text.contains("套餐剩余：106751991167300 天"), qPrintable(summary->text));
    }

    void escapeClosesAnOpenPage() {
        openLoggedIn();
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnForward"), Qt::LeftButton);
        QVERIFY(m_window->forwardWidget()->isVisible());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->forwardWidget()->isVisible());
    }

    void accountDialogShowsQuotaAndPlan() {
        openLoggedIn();
        DialogWatcher dialogs;
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnAccount"), Qt::LeftButton);
        DialogWatcher::Seen const* summary = dialogs.find("账号状态");
        QVERIFY2(summary, qPrintable(dialogs.titles()));
        QCOMPARE(summary->text, QString("免费流量：1.00 G\n已购流量：0 M 加购\n套餐剩余：30 天 续期"));
    }

    void repairButtonReportsAHealthyEnvironment() {
        openLoggedIn();
        QTRY_COMPARE_WITH_TIMEOUT(statusLine()->text(), QString(kRunning), kLoginMs);
        DialogWatcher dialogs;
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnRepair"), Qt::LeftButton);
        QVERIFY2(dialogs.find("诊断完成"), qPrintable(dialogs.titles()));
    }

    void newerVersionIsShownOnTheVersionButton() {
        m_env->cloud().command(
            "fault result method=enum_configs value={\"configs\":{\"version_new\":\"2.0.10\"}}");
        openLoggedIn();
        QTRY_COMPARE(m_window->findChild<QPushButton*>("btnUpgrade")->text(), QString("版本 2.0.9 有新版本"));
    }

    // No updater beside the program: the check says so and nothing ends.
    void manualUpdateCheckWithoutUpdaterSaysWhy() {
        openLoggedIn();
        DialogWatcher dialogs;
        QTest::mouseClick(m_window->findChild<QPushButton*>("btnUpgrade"), Qt::LeftButton);
        DialogWatcher::Seen const* answer = dialogs.find("升级");
        QVERIFY2(answer, qPrintable(dialogs.titles()));
        QVERIFY2(answer->text.startsWith("未能完成版本检测。\n") && answer->text.size() > 10,
                 qPrintable(answer->text));
        QVERIFY(m_window->isVisible());
    }

    // A forced update whose updater cannot start: the reason is shown, the
    // service program runs again and the client goes on.
    void forcedUpdateWithoutUpdaterKeepsTheClient() {
        m_env->cloud().command(
            "fault result method=enum_configs value={\"configs\":{\"version_min\":\"9.0\"}}");
        DialogWatcher dialogs(true);
        openLoggedIn();
        QTRY_COMPARE_WITH_TIMEOUT(statusLine()->text(), QString(kRunning), kLoginMs);
        QVERIFY2(dialogs.find("版本更新"), qPrintable(dialogs.titles()));
        DialogWatcher::Seen const* failed = dialogs.find("未能更新");
        QVERIFY2(failed, qPrintable(dialogs.titles()));
        QVERIFY(!failed->text.isEmpty());
        QVERIFY(m_window->svrControl()->isRunning());
    }
};

GT_GUI_CLIENT_TEST_MAIN(MainWindowTest)
#include "MainWindow_test.moc"
