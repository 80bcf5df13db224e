// The login panel inside the main window, against the test cloud: typed and
// saved accounts, refused ones, logging out.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/LoginWidget.h"
#include "app/gui/MainWindow.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"
#include "support/ShowRecorder.h"

using gt::test::DialogWatcher;
using gt::test::GuiClient;
using gt::test::ShowRecorder;
using gt::test::whenShown;

namespace {

constexpr int kLoginMs = 30000;

}  // namespace

class LoginWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    LoginWidget* panel() { return m_window->loginWidget(); }
    QLineEdit* editName() { return panel()->findChild<QLineEdit*>("editName"); }
    QLineEdit* editPwd() { return panel()->findChild<QLineEdit*>("editPwd"); }
    QPushButton* button(char const* name) { return m_window->findChild<QPushButton*>(name); }

    void typeAndLogIn(QString const& name, QString const& password) {
        editName()->clear();
        editPwd()->clear();
        QTest::keyClicks(editName(), name);
        QTest::keyClicks(editPwd(), password);
        QTest::mouseClick(panel()->findChild<QPushButton*>("btnLogin"), Qt::LeftButton);
    }

    // The login requests the cloud recorded, as their "name" params.
    QStringList loginNames() {
        QJsonArray const calls =
            QJsonDocument::fromJson(QByteArray::fromStdString(m_env->cloud().calls())).array();
        QStringList names;
        for (QJsonValue const& call : calls) {
            QJsonObject const record = call.toObject();
            if (record["method"].toString() == "login")
                names << record["params"].toObject()["name"].toString();
        }
        return names;
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }
    void cleanup() { m_env->reset(m_window); }

    void typedAccountLogsInAndIsSaved() {
        m_window = m_env->open();
        QVERIFY(m_window);
        ShowRecorder shows(panel());
        auto login = whenShown(
            panel(), [&] { typeAndLogIn(GuiClient::NAME, GuiClient::PASSWORD); }, kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && !panel()->isVisible(), kLoginMs);
        QVERIFY(*login);
        // The first appearance is immediate, not a slide.
        QCOMPARE(shows.positions, QList<QPoint>{QPoint(0, 0)});
        QTRY_COMPARE(button("btnAccount")->text(), QString(GuiClient::CLOUD_NAME));
        // Saved as typed; the request carried the name with "86" in front.
        QCOMPARE(GuiClient::setting(u"user.name"), QString(GuiClient::NAME));
        QCOMPARE(GuiClient::setting(u"user.pwd"), QString(GuiClient::PASSWORD));
        QCOMPARE(loginNames(), QStringList{GuiClient::CLOUD_NAME});
        QVERIFY(editPwd()->text().isEmpty());
    }

    void savedAccountSkipsThePanel() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        ShowRecorder shows(panel());
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QTRY_COMPARE(button("btnAccount")->text(), QString(GuiClient::CLOUD_NAME));
        QVERIFY(shows.positions.isEmpty());
    }

    void refusedSavedPasswordWarnsThenAsks() {
        GuiClient::saveAccount(GuiClient::NAME, "wrong-password");
        DialogWatcher dialogs;
        m_window = m_env->open();
        QString shownName;
        QString shownPassword;
        auto login = whenShown(
            panel(),
            [&] {
                shownName = editName()->text();
                shownPassword = editPwd()->text();
                typeAndLogIn(GuiClient::NAME, GuiClient::PASSWORD);
            },
            kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QVERIFY(*login);
        DialogWatcher::Seen const* warning = dialogs.find("未能登录");
        QVERIFY2(warning, qPrintable(dialogs.titles()));
        QCOMPARE(warning->text, QString("用户名或密码错误"));
        QCOMPARE(shownName, QString(GuiClient::NAME));
        QVERIFY(shownPassword.isEmpty());
    }

    // What the panel says to a bad entry, and that it keeps what was typed.
    void badEntriesWarnAndKeepTheFields_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("wrong password") << GuiClient::NAME << "wrong"
                                        << "未能登录"
                                        << "用户名或密码错误";
        QTest::newRow("unknown name") << "nobody" << GuiClient::PASSWORD << "未能登录"
                                      << "用户名或密码错误";
        QTest::newRow("no password") << GuiClient::NAME << ""
                                     << "提示"
                                     << "请输入您的账号和密码，账号可使用用户名或手机号。";
        QTest::newRow("no name") << "" << GuiClient::PASSWORD << "提示"
                                 << "请输入您的账号和密码，账号可使用用户名或手机号。";
    }
    void badEntriesWarnAndKeepTheFields() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, title);
        QFETCH(QString, text);
        DialogWatcher dialogs;
        m_window = m_env->open();
        QString keptName;
        QString keptPassword;
        int logins = -1;
        auto login = whenShown(
            panel(),
            [&] {
                // The warning runs its own loop inside the click.
                int const before = loginNames().size();
                typeAndLogIn(name, password);
                logins = loginNames().size() - before;
                keptName = editName()->text();
                keptPassword = editPwd()->text();
                // Then the right account, which ends the panel.
                typeAndLogIn(GuiClient::NAME, GuiClient::PASSWORD);
            },
            kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QVERIFY(*login);
        // An empty field sends nothing.
        QCOMPARE(logins, title == "提示" ? 0 : 1);
        QCOMPARE(dialogs.seen().size(), 1);
        QCOMPARE(dialogs.seen()[0].title, title);
        QCOMPARE(dialogs.seen()[0].text, text);
        QCOMPARE(keptName, name);
        QCOMPARE(keptPassword, password);
    }

    // The cloud takes any password, the settings file only one whose braces
    // pair up: the login goes on, the panel says the password was not saved,
    // and no earlier account's password is left for the next start to try.
    void passwordTheFileCannotHoldIsReportedAndNotLeftStale_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("open brace") << "pass{word";
        QTest::newRow("close brace") << "pass}word";
    }
    void passwordTheFileCannotHoldIsReportedAndNotLeftStale() {
        QFETCH(QString, password);
        m_env->cloud().command(
            QStringLiteral("put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"%1\", "
                           "\"prefixes\": [\"demo\"]}")
                .arg(password)
                .toStdString());
        GuiClient::saveAccount("13900000000", "earlier-password");
        DialogWatcher dialogs;
        m_window = m_env->open();
        auto login = whenShown(
            panel(), [&] { typeAndLogIn(GuiClient::NAME, password); }, kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && !panel()->isVisible(), kLoginMs);
        QVERIFY(*login);
        DialogWatcher::Seen const* warning = dialogs.find("未能保存密码");
        QVERIFY2(warning, qPrintable(dialogs.titles()));
        QVERIFY2(warning->text.contains("user.pwd"), qPrintable(warning->text));
        QCOMPARE(GuiClient::setting(u"user.name"), QString(GuiClient::NAME));
        QVERIFY(GuiClient::setting(u"user.pwd").isEmpty());
    }

    void returnInThePasswordFieldLogsIn() {
        m_window = m_env->open();
        auto login = whenShown(
            panel(),
            [&] {
                QTest::keyClicks(editName(), GuiClient::NAME);
                QTest::keyClicks(editPwd(), GuiClient::PASSWORD);
                QTest::keyClick(editPwd(), Qt::Key_Return);
            },
            kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && !panel()->isVisible(), kLoginMs);
        QVERIFY(*login);
    }

    void logoutKeepsTheNameAndForgetsThePassword() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        ShowRecorder shows(panel());
        QString shownName;
        QString shownPassword;
        QString savedName;
        QString savedPassword = "not read";
        auto again = whenShown(
            panel(),
            [&] {
                savedName = GuiClient::setting(u"user.name");
                savedPassword = GuiClient::setting(u"user.pwd");
                shownName = editName()->text();
                shownPassword = editPwd()->text();
                typeAndLogIn(GuiClient::NAME, GuiClient::PASSWORD);
            },
            kLoginMs);
        // "更换登录" of the tray menu.
        QAction* logout = nullptr;
        for (QAction* action : m_window->findChildren<QAction*>())
            if (action->text() == "更换登录") logout = action;
        QVERIFY(logout);
        logout->trigger();
        QVERIFY(!m_window->isLoggedIn());
        QTRY_VERIFY_WITH_TIMEOUT(*again && m_window->isLoggedIn() && !panel()->isVisible(), kLoginMs);
        QCOMPARE(savedName, QString(GuiClient::NAME));
        QVERIFY(savedPassword.isEmpty());
        QCOMPARE(shownName, QString(GuiClient::NAME));
        QVERIFY(shownPassword.isEmpty());
        // After a login the panel slides in from above the body.
        QCOMPARE(shows.positions.size(), 1);
        QVERIFY(shows.positions[0].y() < 0);
        QCOMPARE(GuiClient::setting(u"user.pwd"), QString(GuiClient::PASSWORD));
    }

    // A logout whose password stays in the file (it cannot be replaced): the
    // next start would log in again unasked, so the user is told why.
    void logoutThatCannotForgetThePasswordSaysSo() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QString const file = toQString(tunnel::ClientConstants::PROPERTIES_FILE());
        // A folder with a file in it where the file was: no rename replaces it.
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file + "/kept"));
        DialogWatcher dialogs;
        auto again = whenShown(
            panel(),
            [&] {
                QDir(file).removeRecursively();
                typeAndLogIn(GuiClient::NAME, GuiClient::PASSWORD);
            },
            kLoginMs);
        m_window->loginWidget()->logout();
        QTRY_VERIFY_WITH_TIMEOUT(*again && m_window->isLoggedIn() && !panel()->isVisible(), kLoginMs);
        DialogWatcher::Seen const* warning = dialogs.find("未能清除密码");
        QVERIFY2(warning, qPrintable(dialogs.titles()));
        QVERIFY2(warning->text.contains(file), qPrintable(warning->text));
    }
};

GT_GUI_CLIENT_TEST_MAIN(LoginWidgetTest)
#include "LoginWidget_test.moc"
