// The forward editor against the test cloud: what it loads and offers for a
// kind and region, the checks before a save, the probe of a LAN target on
// this computer, and the params of create_forward and modify_forward.
#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>
#include <limits>
#include <memory>

#include "app/gui/ForwardEditDialog.h"
#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/MessageDialog.h"
#include "support/CloudCalls.h"
#include "support/DialogSteps.h"
#include "support/GuiForwardAccount.h"
#include "tunnel/api/user/Forward.h"

using gt::test::clickLater;
using gt::test::GuiForwardAccount;
using gt::test::jsonObject;
using gt::test::recordedParams;
using gt::test::SeenDialog;
using gt::test::whenDialog;

namespace {

template <class W>
W* child(QWidget* dialog, char const* name) {
    W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
}

// The record of forward 100 as the page hands it over.
tunnel::Forward demoTcp(int bandwidth) {
    tunnel::Forward forward;
    forward.id = 100;
    forward.device_id = 10;
    forward.node_id = 1;
    forward.label = u"demo tcp";
    forward.protocol = u"tcp";
    forward.host_prefix = u"demo";
    forward.host_domain = u"qvr.test";
    forward.server_port = 20100;
    forward.client_host = u"127.0.0.1";
    forward.client_port = 8080;
    forward.bandwidth = bandwidth;
    forward.region_label = u"本机";
    return forward;
}

std::string quotaAccount(int limit, int used) {
    return "put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\", \"prefixes\": "
           "[\"demo\"], \"quota\": {\"limit\": {\"bandwidth\": " +
           std::to_string(limit) + "}, \"used\": {\"bandwidth\": " + std::to_string(used) + "}}}";
}

}  // namespace

class ForwardEditDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiForwardAccount> m_account;

    gt::test::TestCloud& cloud() { return m_account->cloud(); }
    // Answers the next message box with its first button ("是" or "确定").
    static std::shared_ptr<SeenDialog> answer(char const* button = "btn_1") {
        return whenDialog<MessageDialog>([button](MessageDialog* dialog) { clickLater(dialog, button); });
    }

private slots:
    void initTestCase() { m_account.reset(new GuiForwardAccount); }
    void init() { QVERIFY(m_account->open()); }
    void cleanup() { m_account->close(); }

    // A region that offers only UDP: the dialog never opens, or saves, with
    // the TCP choice it starts from.
    void neverOffersAProtocolTheRegionLacks() {
        cloud().command(
            "put regions {\"id\": 1, \"label\": \"本机\", \"support_tcp\": false, \"support_udp\": true}");
        cloud().command("put regions {\"id\": 3, \"label\": \"TCP线路\", \"support_tcp\": true}");
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) {
            QRadioButton* tcp = child<QRadioButton>(d, "radioProtocol1");
            QRadioButton* udp = child<QRadioButton>(d, "radioProtocol2");
            QVERIFY(!tcp->isEnabled());
            QVERIFY(!tcp->isChecked());
            QVERIFY(udp->isChecked());
            // The second region offers TCP only: the choice follows it.
            child<QComboBox>(d, "comboBoxRegion")->setCurrentIndex(1);
            QVERIFY(tcp->isChecked());
            QVERIFY(!udp->isEnabled());
            child<QComboBox>(d, "comboBoxRegion")->setCurrentIndex(0);
            child<QLineEdit>(d, "editClientPort")->setText("27015");
            child<QRadioButton>(d, "radioBandwidthFloat")->click();
            clickLater(d, "btnOk");
        });
        QVERIFY(dialog.execCreate(ForwardWizardDialog::KIND_NATIVE, GuiForwardAccount::LOCAL_DEVICE));
        QList<QJsonObject> const created = recordedParams(cloud(), "create_forward");
        QCOMPARE(created.size(), 1);
        QCOMPARE(created[0].value("protocol").toString(), QString("udp"));
        QCOMPARE(created[0].value("node_id").toInt(), 1);
        QCOMPARE(created[0].value("bandwidth").toInt(), 0);
    }

    // A region that offers neither kind's protocol (kind 0 filters nothing)
    // leaves both unchecked.
    void noProtocolWhenTheRegionOffersNone() {
        cloud().command("put regions {\"id\": 1, \"label\": \"本机\", \"support_http\": true}");
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) {
            QVERIFY(!child<QRadioButton>(d, "radioProtocol1")->isChecked());
            QVERIFY(!child<QRadioButton>(d, "radioProtocol2")->isChecked());
            QCOMPARE(child<QLineEdit>(d, "editLabel")->text(), QString());
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execCreate(ForwardWizardDialog::NO_KIND, GuiForwardAccount::LOCAL_DEVICE));
    }

    void websiteWithOwnDomainSendsItLowered() {
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) {
            QCOMPARE(child<QComboBox>(d, "comboBoxRegion")->count(), 1);  // the website region only
            QCOMPARE(child<QLabel>(d, "labelDomain")->text(), QString("自有域名："));
            QVERIFY(child<QLineEdit>(d, "editDomainCustom")->isVisible());
            QVERIFY(!child<QComboBox>(d, "comboBoxDomain")->isVisible());
            QVERIFY(child<QRadioButton>(d, "radioProtocol1")->isChecked());
            child<QLineEdit>(d, "editDomainCustom")->setText("WWW.Example.COM");
            child<QLineEdit>(d, "editClientPort")->setText("8x");
            child<QRadioButton>(d, "radioBandwidthFixed")->click();
            child<QSpinBox>(d, "spinBoxBandwidthFixed")->setValue(1);
            clickLater(d, "btnOk");
        });
        // Nothing listens on port 8 here: the save asks, and is told to go on.
        auto question = answer("btn_1");
        QVERIFY(dialog.execCreate(ForwardWizardDialog::KIND_WEBSITE, GuiForwardAccount::LOCAL_DEVICE));
        QCOMPARE(question->title, QString("内网地址"));
        QCOMPARE(recordedParams(cloud(), "create_forward"),
                 QList<QJsonObject>{jsonObject(
                     "{\"device_id\": 10, \"node_id\": 2, \"label\": \"网站应用\", \"protocol\": \"http\","
                     " \"host_prefix\": \"demo\", \"host_domain\": \"web.test\", \"host_custom\": "
                     "\"www.example.com\","
                     " \"client_host\": \"127.0.0.1\", \"client_port\": 8, \"bandwidth\": 1}")});
    }

    // A failed node load leaves no entry of the earlier region, and the save
    // then names no node instead of another region's.
    void failedNodeLoadClearsThePublicAddresses() {
        ForwardEditDialog dialog(m_account->window());
        std::shared_ptr<SeenDialog> loadWarning, saveWarning;
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            QComboBox* domains = child<QComboBox>(d, "comboBoxDomain");
            QCOMPARE(domains->count(), 1);
            cloud().command("fault rpc_error method=enum_nodes code=500 message=节点查询失败 times=1");
            loadWarning = answer();
            child<QComboBox>(d, "comboBoxRegion")->setCurrentIndex(1);
            QCOMPARE(domains->count(), 0);
            child<QLineEdit>(d, "editClientPort")->setText("27015");
            child<QRadioButton>(d, "radioBandwidthFloat")->click();
            saveWarning = answer();
            child<QPushButton>(d, "btnOk")->click();
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execCreate(ForwardWizardDialog::KIND_NATIVE, GuiForwardAccount::LOCAL_DEVICE));
        QCOMPARE(loadWarning->title, QString("未能刷新"));
        QCOMPARE(loadWarning->text, QString("节点查询失败"));
        QCOMPARE(saveWarning->title, QString("无效状态"));
        QCOMPARE(saveWarning->text, QString("无开放节点，请更换其他线路。"));
        QVERIFY(recordedParams(cloud(), "create_forward").isEmpty());
    }

    void checksBeforeTheSave_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<QString>("text");
        QTest::newRow("no LAN port") << "" << false << "请填写内网端口";
        QTest::newRow("no bandwidth") << "8080" << true << "分配带宽不能为 0 Mbps";
    }
    void checksBeforeTheSave() {
        QFETCH(QString, port);
        QFETCH(bool, fixed);
        QFETCH(QString, text);
        ForwardEditDialog dialog(m_account->window());
        std::shared_ptr<SeenDialog> seen;
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            child<QLineEdit>(d, "editClientPort")->setText(port);
            child<QRadioButton>(d, fixed ? "radioBandwidthFixed" : "radioBandwidthFloat")->click();
            child<QSpinBox>(d, "spinBoxBandwidthFixed")->setValue(0);
            seen = answer();
            child<QPushButton>(d, "btnOk")->click();
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execCreate(ForwardWizardDialog::KIND_NATIVE, GuiForwardAccount::LOCAL_DEVICE));
        QCOMPARE(seen->title, QString("提示"));
        QCOMPARE(seen->text, text);
        QVERIFY(recordedParams(cloud(), "create_forward").isEmpty());
    }

    // A LAN target of this computer that does not answer: "否" keeps the
    // dialog open and sends nothing; a mapping of another device is never
    // probed.
    void unreachableTargetIsQuestioned() {
        int const closedPort = gt::test::ListeningPort::closedPort();
        ForwardEditDialog dialog(m_account->window());
        std::shared_ptr<SeenDialog> question;
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            child<QLineEdit>(d, "editClientPort")->setText(QString::number(closedPort));
            question = answer("btn_2");
            child<QPushButton>(d, "btnOk")->click();
            QVERIFY(d->isVisible());
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execEdit(demoTcp(1)));
        QCOMPARE(question->title, QString("内网地址"));
        QCOMPARE(question->text, QString("填写的内网主机端口似乎无法连接，您确实要使用该主机端口吗？"));
        QVERIFY(recordedParams(cloud(), "modify_forward").isEmpty());

        tunnel::Forward remote = demoTcp(1);
        remote.device_id = GuiForwardAccount::OTHER_DEVICE;
        ForwardEditDialog other(m_account->window());
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            child<QLineEdit>(d, "editClientPort")->setText(QString::number(closedPort));
            clickLater(d, "btnOk");
        });
        QVERIFY(other.execEdit(remote));
        QCOMPARE(recordedParams(cloud(), "modify_forward").size(), 1);
    }

    // Editing keeps the mapping's own bandwidth within reach, also when the
    // plan now offers less than is in use.
    void editKeepsTheOwnBandwidth_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("own");
        QTest::addColumn<int>("maximum");
        QTest::newRow("room left") << 4 << 3 << 1 << 2;
        QTest::newRow("all in use") << 5 << 5 << 5 << 5;
        QTest::newRow("plan shrank") << 2 << 5 << 5 << 5;
    }
    void editKeepsTheOwnBandwidth() {
        QFETCH(int, limit);
        QFETCH(int, used);
        QFETCH(int, own);
        QFETCH(int, maximum);
        cloud().command(quotaAccount(limit, used));
        gt::test::ListeningPort target;
        tunnel::Forward forward = demoTcp(own);
        forward.client_port = target.port();
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            QSpinBox* spin = child<QSpinBox>(d, "spinBoxBandwidthFixed");
            QCOMPARE(spin->maximum(), maximum);
            QCOMPARE(spin->value(), own);
            // The tip counts from the same budget: never below nothing.
            QVERIFY(child<QLabel>(d, "labelBandwidthFixedTip")
                        ->text()
                        .startsWith(QString("（当前剩余可分配 %1/%2 Mbps）").arg(maximum - own).arg(limit)));
            QVERIFY(child<QRadioButton>(d, "radioBandwidthFixed")->isChecked());
            QVERIFY(!child<QComboBox>(d, "comboBoxDomain")->isEnabled());
            QVERIFY(!child<QRadioButton>(d, "radioProtocol1")->isEnabled());
            child<QLineEdit>(d, "editLabel")->setText("only the name");
            clickLater(d, "btnOk");
        });
        QVERIFY(dialog.execEdit(forward));
        QString const expected =
            QString(
                "{\"forward_id\": 100, \"fields\": {\"label\": \"only the name\", "
                "\"client_host\": \"127.0.0.1\", \"client_port\": %1, \"bandwidth\": %2}}")
                .arg(target.port())
                .arg(own);
        QCOMPARE(recordedParams(cloud(), "modify_forward"),
                 QList<QJsonObject>{jsonObject(expected.toUtf8().constData())});
    }

    // Figures at the ends of their types, from the cloud and in the record:
    // the editor opens, its budget stays within the spin box's range and no
    // sum overflows (the sanitizer build stops at one).
    void extremeFiguresOpenTheEditor_data() {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<QString>("used");
        QTest::addColumn<int>("own");
        QString const int32Max = "2147483647";
        QString const int32Min = "-2147483648";
        QString const int64Max = "9223372036854775807";
        QString const int64Min = "-9223372036854775808";
        auto figures = [](QString const& bandwidth, QString const& traffic) {
            return QString("{\"bandwidth\": %1, \"traffic_free\": %2, \"traffic_paid\": %2}")
                .arg(bandwidth, traffic);
        };
        QTest::newRow("highest limit, lowest use")
            << figures(int32Max, int64Max) << figures(int32Min, int64Min) << std::numeric_limits<int>::max();
        QTest::newRow("lowest limit, highest use")
            << figures(int32Min, int64Min) << figures(int32Max, int64Max) << std::numeric_limits<int>::min();
        QTest::newRow("past the types") << figures("1e300", "-1e300") << figures("-1e300", "1e300") << -1;
    }
    void extremeFiguresOpenTheEditor() {
        QFETCH(QString, limit);
        QFETCH(QString, used);
        QFETCH(int, own);
        cloud().command(
            QString("put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\", "
                    "\"prefixes\": [\"demo\"], \"quota\": {\"limit\": %1, \"used\": %2}}")
                .arg(limit, used)
                .toStdString());
        tunnel::Forward forward = demoTcp(own);
        forward.server_port = std::numeric_limits<int>::min();
        forward.client_port = std::numeric_limits<int>::max();
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            QSpinBox* spin = child<QSpinBox>(d, "spinBoxBandwidthFixed");
            QVERIFY(spin->minimum() == 0 && spin->maximum() >= 0);
            QVERIFY(spin->value() >= 0 && spin->value() <= spin->maximum());
            child<QRadioButton>(d, "radioBandwidthFixed")->click();
            spin->setValue(spin->maximum());
            child<QRadioButton>(d, "radioBandwidthFloat")->click();
            QVERIFY(!child<QLabel>(d, "labelBandwidthFloatTip")->text().isEmpty());
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execEdit(forward));
    }

    void failedSaveWarnsAndStaysOpen() {
        cloud().command("fault rpc_error method=modify_forward code=202 message=映射不存在 times=1");
        tunnel::Forward remote = demoTcp(1);
        remote.device_id = GuiForwardAccount::OTHER_DEVICE;
        ForwardEditDialog dialog(m_account->window());
        std::shared_ptr<SeenDialog> warning;
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            warning = answer();
            child<QPushButton>(d, "btnOk")->click();
            QVERIFY(d->isVisible());
            QCOMPARE(child<QLineEdit>(d, "editClientPort")->text(), QString("8080"));
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execEdit(remote));
        QCOMPARE(warning->title, QString("未能保存"));
        QCOMPARE(warning->text, QString("映射不存在"));
    }

    void noPrefixOpensNothing() {
        cloud().command("put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\"}");
        ForwardEditDialog dialog(m_account->window());
        auto editor = whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) { d->reject(); }, 500);
        auto warning = answer();
        QVERIFY(!dialog.execCreate(ForwardWizardDialog::KIND_NATIVE, GuiForwardAccount::LOCAL_DEVICE));
        QCOMPARE(warning->title, QString("错误"));
        QCOMPARE(warning->text, QString("没有域名前缀"));
        QVERIFY(!editor->shown);
    }

    void bandwidthTips() {
        cloud().command(quotaAccount(0, 0));
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) {
            // Without fixed bandwidth the dialog opens in traffic mode.
            QVERIFY(child<QRadioButton>(d, "radioBandwidthFloat")->isChecked());
            QVERIFY(child<QLabel>(d, "labelBandwidthFloatTip")->text().contains("当前流量剩余 0 M"));
            child<QRadioButton>(d, "radioBandwidthFixed")->click();
            QVERIFY(child<QLabel>(d, "labelBandwidthFixedTip")
                        ->text()
                        .startsWith("（您当前没有固定带宽可分配） <a href='"));
            clickLater(d, "btnCancel");
        });
        QVERIFY(!dialog.execCreate(ForwardWizardDialog::KIND_NATIVE, GuiForwardAccount::LOCAL_DEVICE));
    }

    void sectionButtonsFollowTheScrolling() {
        ForwardEditDialog dialog(m_account->window());
        whenDialog<ForwardEditDialog>([](ForwardEditDialog* d) {
            child<QPushButton>(d, "btnSection3")->click();
            QScrollBar* bar = child<QScrollArea>(d, "scrollAreaMain")->verticalScrollBar();
            QCOMPARE(bar->value(), child<QLabel>(d, "labelSection3")->y());
            bar->setValue(child<QLabel>(d, "labelSection2")->y() + 1);
            QVERIFY(child<QPushButton>(d, "btnSection2")->isChecked());
            bar->setValue(bar->maximum());
            QVERIFY(child<QPushButton>(d, "btnSection4")->isChecked());
            clickLater(d, "btnClose");
        });
        QVERIFY(!dialog.execEdit(demoTcp(1)));
    }

    void theCurrentSectionIsHighlighted() {
        ForwardEditDialog dialog(m_account->window());
        QColor const accent(QStringLiteral("#FFA924"));
        QList<bool> highlighted;
        whenDialog<ForwardEditDialog>([&](ForwardEditDialog* d) {
            child<QPushButton>(d, "btnSection3")->click();
            for (char const* name : {"btnSection1", "btnSection2", "btnSection3", "btnSection4"})
                highlighted << gt::test::drawsColour(child<QPushButton>(d, name), accent);
            clickLater(d, "btnClose");
        });
        QVERIFY(!dialog.execEdit(demoTcp(1)));
        QCOMPARE(highlighted, (QList<bool>{false, false, true, false}));
    }
};

GT_GUI_CLIENT_TEST_MAIN(ForwardEditDialogTest)
#include "ForwardEditDialog_test.moc"
