// The whole round through the client's real windows, on a real X server
// (tests/helpers/xvfb_run.py): the test cloud on the address built into the
// programs, the test relay, an echo target, and the real QvrSvr that the
// client starts itself. Log in, bind this computer on the device page,
// create a forward to the target on the mapping page (which opens on this
// computer), see its live state, reach the target through the public address
// the list shows, delete the forward and see the service close its tunnel. With GT_SCREENSHOT_DIR set, the
// mapping page with live states and the forward editor are saved there as forward-list.png and
// forward-editor.png (the README's pictures).
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <memory>
#include <string>

#include "app/ClientConstants.h"
#include "app/gui/DeviceManageWidget.h"
#include "app/gui/ForwardEditDialog.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageDialog.h"
#include "support/CloudCalls.h"
#include "support/DialogSteps.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/TestCloud.h"
#include "support/TestRelay.h"
#include "support/TestTarget.h"
#include "tunnel/api/ProcessSingleton.h"

using gt::test::clickLater;
using gt::test::DialogWatcher;
using gt::test::GuiClient;
using gt::test::jsonObject;
using gt::test::recordedParams;
using gt::test::TestCloud;
using gt::test::whenDialog;

namespace {

constexpr int kStackMs = 60000;  // login, binding, the service's start and its first report
constexpr int kPortWaitMs = 120000;
constexpr int kIoMs = 5000;
constexpr int kColumnAddress = 2;
constexpr int kColumnPing = 3;
constexpr int kDemoForward = 100;  // the demo device's forward in the demo state

// The port of the first cloud host built into the programs ("host:port,...").
unsigned short builtInCloudPort() {
    std::string const hosts = QV_TEST_API_HOSTS;
    std::string const first = hosts.substr(0, hosts.find(','));
    return static_cast<unsigned short>(std::stoi(first.substr(first.rfind(':') + 1)));
}

// The host and port of a "host:port" address as the forward list shows it.
struct Address {
    std::string host;
    std::string port;
};
Address splitAddress(QString const& shown) {
    int const colon = shown.lastIndexOf(':');
    if (colon < 0) return {shown.toStdString(), std::string()};
    return {shown.left(colon).toStdString(), shown.mid(colon + 1).toStdString()};
}

// A TCP socket connected to the address as any program would reach it (the
// host name resolved by the system), -1 when it does not resolve, is refused
// or after the deadline.
int connectTo(Address const& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* entry = found; entry && fd < 0; entry = entry->ai_next) {
        fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (fd < 0) continue;
        timeval timeout{kIoMs / 1000, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        if (::connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

// Sends text through the address and reads as many bytes back, within the
// deadline; what came back.
std::string echoThrough(Address const& address, std::string const& text) {
    int const fd = connectTo(address);
    if (fd < 0) return "<connect failed>";
    std::string back;
    if (::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        auto const deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIoMs);
        while (back.size() < text.size() && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[256];
            ssize_t const got = ::recv(fd, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            back.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    return back;
}

// Whether a connect to the address fails (nothing listens).
bool refused(Address const& address) {
    int const fd = connectTo(address);
    if (fd < 0) return true;
    ::close(fd);
    return false;
}

void savePicture(QWidget* widget, QString const& name) {
    QByteArray const dir = qgetenv("GT_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QString const folder = QString::fromLocal8Bit(dir);
    QVERIFY(QDir().mkpath(folder));
    QString const path = folder + "/" + name;
    QVERIFY2(widget->grab().toImage().save(path, "PNG"), qPrintable(path));
    qInfo("screenshot: %s", qPrintable(path));
}

}  // namespace

class WholeRoundTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<gt::test::TestTarget> m_target;
    std::unique_ptr<gt::test::TestRelay> m_relay;
    std::unique_ptr<TestCloud> m_cloud;
    std::unique_ptr<MainWindow> m_window;
    QTemporaryDir m_book;  // the cloud's port book, which the relay reads

    QTableWidget* table() { return m_window->forwardWidget()->findChild<QTableWidget*>("tableForward"); }
    int rowOf(QString const& label) {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (table()->item(row, 0) && table()->item(row, 0)->text() == label) return row;
        return -1;
    }
    QString cell(QString const& label, int column) {
        int const row = rowOf(label);
        QTableWidgetItem* item = row >= 0 ? table()->item(row, column) : nullptr;
        return item ? item->text() : QString("<none>");
    }
    // The public port of the relay's newest tunnel, 0 while there is none.
    int publicPort() {
        std::string const answer = m_relay->command("tunnel");
        if (answer.compare(0, 3, "ok ") != 0) return 0;
        return std::stoi(answer.substr(answer.rfind(' ') + 1));
    }

private slots:
    void initTestCase() {
        gt::test::filterQtMessages();
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(gt::core::createDirectories(tunnel::ClientConstants::DATA_DIR()));
        m_target.reset(new gt::test::TestTarget("echo"));
        m_relay.reset(new gt::test::TestRelay);
        // The public address the list shows is prefix.domain:port: as
        // "127" and "0.0.1" it is a host every resolver knows, and the relay
        // opens each tunnel on the port the cloud booked for its forward.
        QVERIFY(m_book.isValid());
        std::string const book = m_book.filePath("ports.json").toStdString();
        QCOMPARE(m_relay->command("book " + book), std::string("ok"));
        // The service program talks to the cloud built into it: the double
        // takes that port, which other test programs of this build may hold
        // for a while.
        std::vector<std::string> const defines = {"RELAY=127.0.0.1:" + std::to_string(m_relay->port()),
                                                  "TARGET=127.0.0.1:9", "PREFIX=127", "DOMAIN=0.0.1",
                                                  "PORT_BOOK=" + book};
        QDeadlineTimer const deadline(kPortWaitMs);
        while (!m_cloud) {
            try {
                m_cloud.reset(new TestCloud(GuiClient::STATE, defines, 1, {builtInCloudPort()}));
            } catch (std::exception const& error) {
                QVERIFY2(!deadline.hasExpired(), error.what());
                QTest::qWait(500);
            }
        }
        // The service programs of other test programs of this build log in
        // to this cloud as the demo device: it keeps no forward, so that the
        // relay's only tunnel is the one this test creates.
        QCOMPARE(m_cloud->command("remove forwards " + std::to_string(kDemoForward)), std::string("ok"));
    }
    void cleanupTestCase() {
        m_window.reset();
        m_cloud.reset();
        m_relay.reset();
        m_target.reset();
    }

    void wholeRound() {
        // Log in with nothing bound: the device page asks to join this
        // computer as a new device. The script ends with the login: later
        // dialogs are the steps' own.
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        auto script = std::make_unique<DialogWatcher>();
        script->then(DialogWatcher::type("round computer"));
        auto lock = std::make_unique<tunnel::ProcessSingleton>(tunnel::ClientConstants::APP_LOCK_FILE());
        QVERIFY(lock->tryLock());
        m_window = std::make_unique<MainWindow>(std::move(lock));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get(), kStackMs));
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && script->done(), kStackMs);
        QVERIFY2(script->unexpected() == 0 && script->find("新设备加入"), qPrintable(script->titles()));
        script.reset();
        QVERIFY(m_window->deviceWidget()->isDeviceBound());
        long long const device = GuiClient::setting(u"device.id").toLongLong();
        QVERIFY(device > 10);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->svrControl()->isRunning(), kStackMs);

        // The mapping page opens on this computer, listed after the
        // account's other one; a forward to the echo target.
        ForwardManageWidget* page = m_window->forwardWidget();
        page->showPage();
        QTRY_VERIFY(page->isVisible());
        QCOMPARE(m_window->deviceManager()->devices().count(), 2);
        QVERIFY(page->isLocalDevice());
        QCOMPARE(page->findChild<QComboBox*>("comboBoxInstance")->currentIndex(), 1);
        QCOMPARE(table()->rowCount(), 0);
        int const targetPort = m_target->port();
        m_cloud->command("forget");
        auto wizard = whenDialog<ForwardWizardDialog>([](ForwardWizardDialog* dialog) {
            dialog->findChild<QRadioButton*>("radioStandard")->click();
            clickLater(dialog, "btnOk");
        });
        auto editor = whenDialog<ForwardEditDialog>([targetPort](ForwardEditDialog* dialog) {
            dialog->findChild<QLineEdit*>("editLabel")->setText("round echo");
            dialog->findChild<QLineEdit*>("editClientHost")->setText("127.0.0.1");
            dialog->findChild<QLineEdit*>("editClientPort")->setText(QString::number(targetPort));
            dialog->findChild<QRadioButton*>("radioBandwidthFixed")->click();
            dialog->findChild<QSpinBox*>("spinBoxBandwidthFixed")->setValue(1);
            savePicture(dialog, "forward-editor.png");
            clickLater(dialog, "btnOk");
        });
        QTest::mouseClick(page->findChild<QPushButton*>("btnCreate"), Qt::LeftButton);
        QVERIFY(wizard->shown);
        QVERIFY(editor->shown);
        QList<QJsonObject> const created = recordedParams(*m_cloud, "create_forward");
        QCOMPARE(created.size(), 1);
        QCOMPARE(created[0]["device_id"].toInteger(), device);
        QCOMPARE(created[0]["client_host"].toString(), QString("127.0.0.1"));
        QCOMPARE(created[0]["client_port"].toInt(), targetPort);
        QCOMPARE(table()->rowCount(), 1);

        // The service brings it up: the row shows a ping, the relay a tunnel.
        QRegularExpression const ping("^\\d+ms$");
        QTRY_VERIFY2_WITH_TIMEOUT(ping.match(cell("round echo", kColumnPing)).hasMatch(),
                                  qPrintable(cell("round echo", kColumnPing)), kStackMs);
        savePicture(m_window.get(), "forward-list.png");
        // What the list shows (and "复制地址" copies) is where the relay
        // listens, and it reaches the target.
        QString const shown = cell("round echo", kColumnAddress);
        Address const address = splitAddress(shown);
        int port = 0;
        QTRY_VERIFY_WITH_TIMEOUT((port = publicPort()) > 0, kStackMs);
        QCOMPARE(address.port, std::to_string(port));
        QCOMPARE(echoThrough(address, "through the relay\n"), std::string("through the relay\n"));

        // Deleted: the row goes, and the service closes the tunnel, whose
        // public port then refuses.
        long long const id = page->forwards()[0].id;
        table()->setCurrentCell(0, 0);
        auto confirm = whenDialog<MessageDialog>([](MessageDialog* dialog) { clickLater(dialog, "btn_1"); });
        QTest::mouseClick(page->findChild<QPushButton*>("btnDel"), Qt::LeftButton);
        QCOMPARE(confirm->title, QString("删除映射"));
        QJsonObject removed;
        removed["forward_id"] = id;
        QCOMPARE(recordedParams(*m_cloud, "remove_forward"), QList<QJsonObject>{removed});
        QCOMPARE(table()->rowCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(refused(address), kStackMs);

        m_window.reset();
        GuiClient::clearData();
    }
};

GT_GUI_CLIENT_TEST_MAIN(WholeRoundTest)
#include "WholeRound_test.moc"
