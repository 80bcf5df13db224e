// The mapping page against the test cloud: its table, creating, editing,
// moving, restricting and deleting a forward (with the exact params the
// cloud recorded), the prefix registration before a first mapping, the
// status columns, texts from the cloud that go into rich text, one reload
// per refill of the device list and none of the rows after a failed one.
//
// Whether the service was told is seen on the signal mailbox: the fixture
// stops the service program, and "QvrSvr --refresh" then removes a
// left-over svr.signal, so the file goes exactly when the page sent it.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextDocument>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/gui/ForwardEditDialog.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SelectDialog.h"
#include "gt/core/util/JSON.h"
#include "support/CloudCalls.h"
#include "support/DialogSteps.h"
#include "support/GuiForwardAccount.h"
#include "support/ShownText.h"

using gt::test::clickLater;
using gt::test::GuiForwardAccount;
using gt::test::jsonObject;
using gt::test::recordedParams;
using gt::test::whenDialog;

namespace {

gt::core::Array<gt::core::Any> report(QString const& json) {
    gt::core::Array<gt::core::Any> entries;
    gt::core::JSON::decode(fromQString(json), &entries);
    return entries;
}

QString signalFile() { return toQString(tunnel::ClientConstants::DATA_DIR()) + "/svr.signal"; }

// A left-over mailbox that "QvrSvr --refresh" removes.
void leaveSignalFile() {
    QFile file(signalFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
}

bool refreshSent() { return !QFile::exists(signalFile()); }

}  // namespace

class ForwardManageWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiForwardAccount> m_account;
    ForwardManageWidget* m_page = nullptr;

    QTableWidget* table() { return m_page->findChild<QTableWidget*>("tableForward"); }
    QComboBox* devices() { return m_page->findChild<QComboBox*>("comboBoxInstance"); }
    QString cell(int row, int column) {
        QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QString("<none>");
    }
    int rowOf(QString const& label) {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (cell(row, 0) == label) return row;
        return -1;
    }
    void selectRow(QString const& label) {
        int const row = rowOf(label);
        QVERIFY2(row >= 0, qPrintable(label));
        table()->setCurrentCell(row, 0);
    }
    void trigger(char const* action) {
        QAction* found = m_page->findChild<QAction*>(action);
        QVERIFY2(found, action);
        found->trigger();
    }
    // A step that picks entry index of the choice dialog and confirms.
    static void choose(int index, int* preselected) {
        whenDialog<SelectDialog>([=](SelectDialog* dialog) {
            QComboBox* box = dialog->findChild<QComboBox*>("comboBox");
            *preselected = box->currentIndex();
            box->setCurrentIndex(index);
            clickLater(dialog, "btn_1");
        });
    }
    // Answers the next message box: "是" when yes, else its other button.
    static std::shared_ptr<gt::test::SeenDialog> answer(bool yes) {
        return whenDialog<MessageDialog>([yes](MessageDialog* dialog) {
            QPushButton* no = dialog->findChild<QPushButton*>("btn_2");
            clickLater(dialog, yes || !no->isVisible() ? "btn_1" : "btn_2");
        });
    }

private slots:
    void initTestCase() { m_account.reset(new GuiForwardAccount); }
    void init() {
        QVERIFY(m_account->open());
        m_page = m_account->window()->forwardWidget();
        m_page->showPage();
        QTRY_VERIFY(m_page->isVisible());
        QCOMPARE(devices()->currentIndex(), 0);
        m_account->cloud().command("forget");
    }
    void cleanup() {
        m_page = nullptr;
        m_account->close();
    }

    void tableShowsTheSelectedDevicesForwards() {
        QCOMPARE(devices()->count(), 2);
        QCOMPARE(table()->rowCount(), 4);
        QCOMPARE(cell(rowOf("demo tcp"), 1), QString("127.0.0.1:8080"));
        QCOMPARE(cell(rowOf("demo tcp"), 2), QString("demo.qvr.test:20100"));
        QCOMPARE(cell(rowOf("site"), 2), QString("http://www.example.com"));
        QCOMPARE(cell(rowOf("proxy"), 1), QString("（内置服务）"));
        QCOMPARE(cell(rowOf("game"), 2), QString("demo.udp.test:20102"));
        // This computer's rows wait for the service's report.
        QVERIFY(m_page->isLocalDevice());
        QCOMPARE(cell(0, 3), QString("..."));
        QCOMPARE(cell(0, 4), QString("..."));

        // Another device's rows never show a state, and no report changes them.
        devices()->setCurrentIndex(1);
        QVERIFY(!m_page->isLocalDevice());
        QCOMPARE(table()->rowCount(), 1);
        QCOMPARE(cell(0, 0), QString("remote tcp"));
        m_page->updateStatus(report("[{\"id\": 200, \"ping\": 5, \"channels\": 1}]"));
        QCOMPARE(cell(0, 3), QString("非本机"));
        QCOMPARE(cell(0, 4), QString("非本机"));
        QCOMPARE(recordedParams(m_account->cloud(), "enum_forwards"),
                 QList<QJsonObject>{jsonObject("{\"device_id\": 11}")});
    }

    // Refilling the device list reloads the table once, not once per change
    // of the list while it refills, and keeps the device chosen.
    void refreshingTheDevicesReloadsOnce() {
        devices()->setCurrentIndex(1);
        m_account->cloud().command("forget");
        m_page->refreshDevices();
        QCOMPARE(gt::test::cloudMethods(m_account->cloud()), (QStringList{"enum_devices", "enum_forwards"}));
        QCOMPARE(recordedParams(m_account->cloud(), "enum_forwards"),
                 QList<QJsonObject>{jsonObject("{\"device_id\": 11}")});
        QCOMPARE(devices()->currentIndex(), 1);
    }

    // A reload that fails leaves no rows of the device shown before.
    void aFailedReloadKeepsNoStaleRows() {
        QVERIFY(table()->rowCount() > 0);
        m_account->cloud().command("fault rpc_error method=enum_forwards times=1 code=500 message=维护中");
        auto warning = answer(true);
        devices()->setCurrentIndex(1);
        QCOMPARE(warning->title, QString("未能获取转发列表"));
        QCOMPARE(warning->text, QString("维护中"));
        QCOMPARE(table()->rowCount(), 0);
        // Nothing is left to act on.
        table()->setCurrentCell(0, 0);
        trigger("actDel");
        QCOMPARE(recordedParams(m_account->cloud(), "remove_forward").size(), 0);
    }

    void createSendsTheEditorsFields() {
        gt::test::ListeningPort target;
        int const port = target.port();
        auto wizard = whenDialog<ForwardWizardDialog>([](ForwardWizardDialog* dialog) {
            dialog->findChild<QRadioButton*>("radioStandard")->click();
            clickLater(dialog, "btnOk");
        });
        auto editor = whenDialog<ForwardEditDialog>([port](ForwardEditDialog* dialog) {
            dialog->findChild<QLineEdit*>("editLabel")->setText("My SSH");
            QCOMPARE(dialog->findChild<QComboBox*>("comboBoxDomain")->currentText(),
                     QString("demo.qvr.test"));
            dialog->findChild<QLineEdit*>("editClientHost")->setText("LocalHost");
            dialog->findChild<QLineEdit*>("editClientPort")->setText(QString::number(port));
            dialog->findChild<QRadioButton*>("radioBandwidthFixed")->click();
            dialog->findChild<QSpinBox*>("spinBoxBandwidthFixed")->setValue(2);
            clickLater(dialog, "btnOk");
        });
        QTest::mouseClick(m_page->findChild<QPushButton*>("btnCreate"), Qt::LeftButton);
        QVERIFY(wizard->shown);
        QVERIFY(editor->shown);
        QString const expected =
            QString(
                "{\"device_id\": 10, \"node_id\": 1, \"label\": \"My SSH\", \"protocol\": \"tcp\","
                " \"host_prefix\": \"demo\", \"host_domain\": \"qvr.test\", \"host_custom\": \"\","
                " \"client_host\": \"localhost\", \"client_port\": %1, \"bandwidth\": 2}")
                .arg(port);
        QCOMPARE(recordedParams(m_account->cloud(), "create_forward"),
                 QList<QJsonObject>{jsonObject(expected.toUtf8().constData())});
        // The table was reloaded with the new mapping.
        QCOMPARE(table()->rowCount(), 5);
        QVERIFY(rowOf("My SSH") >= 0);
    }

    void cancelledWizardCreatesNothing() {
        whenDialog<ForwardWizardDialog>([](ForwardWizardDialog* dialog) { clickLater(dialog, "btnCancel"); });
        QTest::mouseClick(m_page->findChild<QPushButton*>("btnCreate"), Qt::LeftButton);
        QVERIFY(recordedParams(m_account->cloud(), "create_forward").isEmpty());
        QVERIFY(recordedParams(m_account->cloud(), "enum_regions").isEmpty());
    }

    void editSendsTheFourFields() {
        gt::test::ListeningPort target;
        int const port = target.port();
        selectRow("demo tcp");
        QVERIFY(m_page->findChild<QPushButton*>("btnEdit")->isEnabled());
        auto editor = whenDialog<ForwardEditDialog>([port](ForwardEditDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>("editLabel")->text(), QString("demo tcp"));
            dialog->findChild<QLineEdit*>("editLabel")->setText("renamed");
            // In edit mode the host goes out as typed.
            dialog->findChild<QLineEdit*>("editClientHost")->setText("LocalHost");
            dialog->findChild<QLineEdit*>("editClientPort")->setText(QString::number(port));
            clickLater(dialog, "btnOk");
        });
        QTest::mouseClick(m_page->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
        QVERIFY(editor->shown);
        QString const expected =
            QString(
                "{\"forward_id\": 100, \"fields\": {\"label\": \"renamed\", \"client_host\": "
                "\"LocalHost\", \"client_port\": %1, \"bandwidth\": 1}}")
                .arg(port);
        QCOMPARE(recordedParams(m_account->cloud(), "modify_forward"),
                 QList<QJsonObject>{jsonObject(expected.toUtf8().constData())});
        QVERIFY(rowOf("renamed") >= 0);
    }

    void moveSendsTheChosenDevice() {
        selectRow("demo tcp");
        int preselected = -2;
        choose(1, &preselected);
        trigger("actMove");
        QCOMPARE(preselected, 0);  // the forward's own device
        QCOMPARE(recordedParams(m_account->cloud(), "modify_forward"),
                 QList<QJsonObject>{jsonObject("{\"forward_id\": 100, \"fields\": {\"device_id\": 11}}")});
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(rowOf("demo tcp"), -1);
    }

    void restrictLoadsAndTakesOffAPolicy() {
        selectRow("demo tcp");
        int preselected = -2;
        choose(0, &preselected);
        trigger("actAcl");
        // A forward without a policy starts on "关闭", after the one policy.
        QCOMPARE(preselected, 1);
        selectRow("demo tcp");
        choose(1, &preselected);
        trigger("actAcl");
        QCOMPARE(preselected, 0);
        QCOMPARE(recordedParams(m_account->cloud(), "modify_forward"),
                 (QList<QJsonObject>{jsonObject("{\"forward_id\": 100, \"fields\": {\"acl_id\": 1}}"),
                                     jsonObject("{\"forward_id\": 100, \"fields\": {\"acl_id\": null}}")}));
    }

    void restrictIsForNativeTcpOnly() {
        selectRow("game");
        auto seen = answer(true);
        trigger("actAcl");
        QCOMPARE(seen->title, QString("访问策略"));
        QCOMPARE(seen->text, QString("访问策略当前仅支持原生端口映射。"));
        QVERIFY(recordedParams(m_account->cloud(), "enum_acls").isEmpty());
    }

    void boxesFromTheContextMenuLieOverTheWindow() {
        // Right after the menu closed, the window system may not have made
        // any window active yet.
        QApplication::setActiveWindow(nullptr);
        selectRow("game");
        QWidget* parent = nullptr;
        QPoint centre;
        auto seen = whenDialog<MessageDialog>([&](MessageDialog* dialog) {
            parent = dialog->parentWidget();
            centre = dialog->pos() + QPoint(dialog->width() / 2, dialog->height() / 2);
            clickLater(dialog, "btn_2");
        });
        trigger("actAcl");
        QVERIFY(seen->shown);
        QWidget* window = m_account->window();
        QCOMPARE(parent, window);
        QCOMPARE(centre, window->pos() + QPoint(window->width() / 2, window->height() / 2));
    }

    // A very long device name is elided in the list, so that its pop-up
    // stays within the page; the whole name is the entry's tip, as text.
    void aLongDeviceNameIsElidedWithTheWholeNameAsTip() {
        QString const name = QStringLiteral("<b>x</b> ") + QString(300, QChar(u'长'));
        QJsonObject device{{"id", 12}, {"user_id", 1}, {"token", "t12"}, {"label", name}};
        QCOMPARE(gt::test::cloudCommand(m_account->cloud(),
                                        QJsonObject{{"cmd", "put"}, {"kind", "devices"}, {"item", device}}),
                 std::string("ok"));
        m_page->refreshDevices();
        QCOMPARE(devices()->count(), 3);
        int const index = devices()->findData(plainToolTip(name), Qt::ToolTipRole);
        QVERIFY(index >= 0);
        QString const shown = devices()->itemText(index);
        QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.startsWith("<b>x</b> "), qPrintable(shown));
        QTextDocument tip;
        tip.setHtml(devices()->itemData(index, Qt::ToolTipRole).toString());
        QCOMPARE(tip.toPlainText(), name);
        // The short names stay whole.
        QCOMPARE(devices()->itemText(0), QString("demo computer"));

        devices()->setCurrentIndex(index);
        QCOMPARE(devices()->toolTip(), plainToolTip(name));
        devices()->showPopup();
        QWidget* popup = devices()->view()->window();
        QTRY_VERIFY(popup->isVisible());
        QVERIFY2(popup->width() <= m_page->width() / 2, qPrintable(QString::number(popup->width())));
        devices()->hidePopup();
    }

    void deleteAsksThenRemoves_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("question");
        QTest::newRow("website, confirmed") << "site" << true << "该映射删除后，网站地址将会关闭。确认删除？";
        QTest::newRow("port, confirmed") << "game" << true << "该映射删除后，公网端口将会释放。确认删除？";
        QTest::newRow("port, declined")
            << "demo tcp" << false << "该映射删除后，公网端口将会释放。确认删除？";
    }
    void deleteAsksThenRemoves() {
        QFETCH(QString, label);
        QFETCH(bool, confirm);
        QFETCH(QString, question);
        selectRow(label);
        long long const id = m_page->forwards()[table()->currentRow()].id;
        leaveSignalFile();
        auto seen = answer(confirm);
        QPushButton* del = m_page->findChild<QPushButton*>("btnDel");
        QPushButton* edit = m_page->findChild<QPushButton*>("btnEdit");
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(seen->title, QString("删除映射"));
        QCOMPARE(seen->text, question);
        QList<QJsonObject> const removed = recordedParams(m_account->cloud(), "remove_forward");
        if (!confirm) {
            QVERIFY(removed.isEmpty());
            QCOMPARE(table()->rowCount(), 4);
            QCOMPARE(cell(table()->currentRow(), 0), label);
            QVERIFY(del->isEnabled());
            QVERIFY(!refreshSent());
            return;
        }
        QJsonObject expected;
        expected["forward_id"] = id;
        QCOMPARE(removed, QList<QJsonObject>{expected});
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(rowOf(label), -1);
        // No other mapping is left selected for the next press of 删除.
        QVERIFY(table()->selectedItems().isEmpty());
        QCOMPARE(table()->currentRow(), -1);
        QVERIFY(!del->isEnabled());
        QVERIFY(!edit->isEnabled());
        // The service drops the tunnel now, not at its next poll.
        QVERIFY(refreshSent());
    }

    void failedDeleteWarnsAndKeepsTheRow() {
        m_account->cloud().command("fault rpc_error method=remove_forward code=202 message=映射不存在");
        selectRow("game");
        answer(true);
        auto warning = answer(true);
        trigger("actDel");
        QCOMPARE(warning->title, QString("未能删除"));
        QCOMPARE(warning->text, QString("映射不存在"));
        QVERIFY(rowOf("game") >= 0);
    }

    void statusColumns_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("floating");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("ping");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("toolTip");
        // "demo tcp" is id 100 with 1 Mbps, "game" id 102 without bandwidth.
        QTest::newRow("ping 0") << "demo tcp" << 0 << "[{\"id\": 100, \"ping\": 0, \"channels\": 3}]"
                                << "0ms"
                                << "3"
                                << "";
        QTest::newRow("ping 9999") << "demo tcp" << 0 << "[{\"id\": 100, \"ping\": 9999, \"channels\": 0}]"
                                   << "9999ms"
                                   << "0"
                                   << "";
        QTest::newRow("ping 10000") << "demo tcp" << 0 << "[{\"id\": 100, \"ping\": 10000, \"channels\": 2}]"
                                    << "传输忙"
                                    << "2"
                                    << "";
        QTest::newRow("ping -1, fixed bandwidth")
            << "demo tcp" << 0
            << "[{\"id\": 100, \"ping\": -1, \"channels\": 0, \"error\": \"relay refused\"}]"
            << "连接中"
            << "0"
            << "relay refused";
        QTest::newRow("ping -1, no bandwidth")
            << "game" << 0 << "[{\"id\": 102, \"ping\": -1, \"channels\": 0}]"
            << "无流量"
            << "0"
            << "";
        QTest::newRow("ping -1, floating bandwidth")
            << "game" << 1 << "[{\"id\": 102, \"ping\": -1, \"channels\": 0}]"
            << "连接中"
            << "0"
            << "";
        QTest::newRow("not reported") << "game" << 0 << "[{\"id\": 100, \"ping\": 3, \"channels\": 0}]"
                                      << "..."
                                      << "..."
                                      << "";
        QTest::newRow("later entry wins")
            << "demo tcp" << 0
            << "[{\"id\": 100, \"ping\": 7, \"channels\": 1}, {\"id\": 100, \"ping\": 8, \"channels\": 4}]"
            << "8ms"
            << "4"
            << "";
        // The service's error text is outside text: shown as it is, never
        // as markup that loads the file it names.
        QTest::newRow("markup in the error")
            << "demo tcp" << 0
            << "[{\"id\": 100, \"ping\": -1, \"channels\": 0, \"error\": \"<img src=\\\"/dev/zero\\\">\"}]"
            << "连接中"
            << "0"
            << "<img src=\"/dev/zero\">";
        // A crafted report: what is not an object is passed over.
        QTest::newRow("entries that are no objects")
            << "demo tcp" << 0 << "[5, \"x\", null, [1], {\"id\": 100, \"ping\": 12, \"channels\": 1}]"
            << "12ms"
            << "1"
            << "";
    }
    void statusColumns() {
        QFETCH(QString, label);
        QFETCH(int, floating);
        QFETCH(QString, entries);
        QFETCH(QString, ping);
        QFETCH(QString, channels);
        QFETCH(QString, toolTip);
        if (floating > 0) {
            m_account->cloud().command(
                "put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\", "
                "\"prefixes\": [\"demo\"], \"quota\": {\"limit\": {\"bandwidth_float\": 1}}}");
            QVERIFY(m_account->window()->refreshAccount());
            QCOMPARE(m_account->window()->quota().limit.bandwidth_float, 1);
        }
        int const row = rowOf(label);
        QVERIFY(row >= 0);
        // An earlier tooltip goes with the next report.
        m_page->updateStatus(
            report("[{\"id\": 100, \"ping\": 1, \"channels\": 1, \"error\": \"old\"},"
                   " {\"id\": 102, \"ping\": 1, \"channels\": 1, \"error\": \"old\"}]"));
        m_page->updateStatus(report(entries));
        QCOMPARE(cell(row, 3), ping);
        QCOMPARE(cell(row, 4), channels);
        QCOMPARE(gt::test::shownText(table()->item(row, 3)->toolTip()), toolTip);
        QCOMPARE(gt::test::shownText(table()->item(row, 4)->toolTip()), toolTip);
        QCOMPARE(table()->item(row, 3)->textAlignment(), int(Qt::AlignCenter));
    }

    void cnameTextsFromTheCloudAreEscaped() {
        // The site's prefix, as the cloud sent it, holds markup.
        selectRow("site");
        auto seen =
            whenDialog<InformationDialog>([](InformationDialog* dialog) { clickLater(dialog, "btn_1"); });
        trigger("actCName");
        QCOMPARE(seen->title, QString("域名解析"));
        QVERIFY2(seen->text.endsWith("a<b>.web.test"), qPrintable(seen->text));

        selectRow("demo tcp");
        auto plain = answer(true);
        trigger("actCName");
        QCOMPARE(plain->text, QString("该类型映射无需解析，可直接使用。"));
    }

    void contextMenuOffersCNameOnlyForOwnDomains() {
        QAction* cname = m_page->findChild<QAction*>("actCName");
        for (auto const& row : {std::make_pair("site", true), std::make_pair("demo tcp", false)}) {
            selectRow(row.first);
            QMetaObject::invokeMethod(table(), "customContextMenuRequested", Q_ARG(QPoint, QPoint(1, 1)));
            QCOMPARE(cname->isVisible(), row.second);
            m_page->findChild<QMenu*>()->hide();
        }
    }

    void firstMappingRegistersAPrefix() {
        m_account->cloud().command(
            "put accounts {\"id\": 1, \"name\": \"8613800000000\", \"pwd\": \"demo-password\", \"prefixes\": "
            "[]}");
        // The first prefix: the confirmation is declined, so it is asked again
        // with an empty field; the second is confirmed and registered.
        auto first = whenDialog<InputDialog>([](InputDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>()->text(), QString());
            dialog->findChild<QLineEdit*>()->setText("Ab<i>");
            clickLater(dialog, "btn_1");
        });
        auto declined =
            whenDialog<InformationDialog>([](InformationDialog* dialog) { clickLater(dialog, "btn_2"); });
        auto second = whenDialog<InputDialog>([](InputDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>()->text(), QString());
            dialog->findChild<QLineEdit*>()->setText("NewPre");
            clickLater(dialog, "btn_1");
        });
        auto confirmed =
            whenDialog<InformationDialog>([](InformationDialog* dialog) { clickLater(dialog, "btn_1"); });
        auto done = answer(true);
        auto wizard = whenDialog<ForwardWizardDialog>(
            [](ForwardWizardDialog* dialog) { clickLater(dialog, "btnCancel"); });
        QTest::mouseClick(m_page->findChild<QPushButton*>("btnCreate"), Qt::LeftButton);
        QVERIFY(first->shown && second->shown && wizard->shown);
        QCOMPARE(declined->title, QString("确认注册"));
        // What the user typed shows as typed (lowered), not as markup.
        QVERIFY2(declined->text.contains("ab<i>.tcp.quorvane.example:12345"), qPrintable(declined->text));
        QVERIFY(confirmed->text.contains("http://newpre.web.quorvane.example"));
        QCOMPARE(done->title, QString("注册域名前缀"));
        QCOMPARE(done->text, QString("恭喜您，newpre 已注册成功！\n接下来您可以开始添加映射。"));
        QCOMPARE(recordedParams(m_account->cloud(), "check_prefix"),
                 (QList<QJsonObject>{jsonObject("{\"prefix_name\": \"ab<i>\"}"),
                                     jsonObject("{\"prefix_name\": \"newpre\"}")}));
        QCOMPARE(recordedParams(m_account->cloud(), "create_prefix_free"),
                 QList<QJsonObject>{jsonObject("{\"prefix_name\": \"newpre\"}")});
    }
};

GT_GUI_CLIENT_TEST_MAIN(ForwardManageWidgetTest)
#include "ForwardManageWidget_test.moc"
