#include "app/gui/AclEditDialog.h"

#include <QComboBox>
#include <QEvent>
#include <QSignalBlocker>
#include <QSize>

#include "app/IContext.h"
#include "app/gui/AclMemberDialog.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SectionNavigator.h"
#include "app/gui/UiScale.h"
#include "app/gui/WebLinks.h"
#include "gt/core/util/Strings.h"
#include "tunnel/api/ApiClient.h"
#include "ui_AclEditDialog.h"

using gt::core::Array;
using gt::core::String;

char const* const AclEditDialog::IP_WHITE = "ipWhite";
char const* const AclEditDialog::IP_BLACK = "ipBlack";
char const* const AclEditDialog::WRITING = "isWritting";
char16_t const* const AclEditDialog::IP_HINT = u"# IP一行一个，支持通配符 *";

namespace {

QString joinLines(Array<String> const& list) {
    QStringList lines;
    for (String const& entry : list)
        lines << toQString(entry);
    return lines.join(QStringLiteral("\r\n"));
}

void addItems(QComboBox* comboBox, QStringList const& items) {
    FramelessWindow::setupPopup(comboBox);
    for (QString const& item : items)
        comboBox->addItem(item);
    for (int i = 0; i < comboBox->count(); ++i)
        comboBox->setItemData(i, QSize(0, UiScale::scaled(28)), Qt::SizeHintRole);
}

}  // namespace

AclEditDialog::AclEditDialog(IMainWindow* mainWindow)
    : QDialog(mainWindow->mainWidget()),
      m_ui(new Ui::AclEditDialog),
      m_mainWindow(mainWindow),
      m_sections(nullptr) {
    m_ui->setupUi(this);
    // The first item of the filter runs the mode rule: the box starts
    // disabled and shows the hint.
    addItems(m_ui->comboBoxIpFilter,
             {QStringLiteral("不使用"), QStringLiteral("IP白名单"), QStringLiteral("IP黑名单")});
    m_ui->comboBoxIpFilter->installEventFilter(this);
    addItems(m_ui->comboBoxGateway, {QStringLiteral("不使用"), QStringLiteral("强制开启")});
    m_ui->comboBoxGateway->installEventFilter(this);

    m_sections = new SectionNavigator(m_ui->scrollAreaMain, {{m_ui->btnSection1, m_ui->labelSection1},
                                                             {m_ui->btnSection2, m_ui->labelSection2},
                                                             {m_ui->btnSection3, m_ui->labelSection3}});
    FramelessWindow::setupDialog(this, mainWindow->mainWidget());
}

AclEditDialog::~AclEditDialog() = default;

bool AclEditDialog::exec(tunnel::Acl const& acl) {
    if (isVisible()) return false;
    m_ui->editLabel->setText(toQString(acl.label));
    QPlainTextEdit* box = m_ui->editIp;
    box->setProperty(IP_WHITE, joinLines(acl.white));
    box->setProperty(IP_BLACK, joinLines(acl.black));
    int filter = IP_DISABLED;
    if (acl.ip_filter == tunnel::Acl::ENABLED_WHITE) {
        filter = IP_WHITE_LIST;
    } else if (acl.ip_filter == tunnel::Acl::ENABLED_BLACK) {
        filter = IP_BLACK_LIST;
    }
    {
        // The mode rule runs below whether or not the index changes, so the
        // box never keeps a list of an earlier run.
        QSignalBlocker const block(m_ui->comboBoxIpFilter);
        m_ui->comboBoxIpFilter->setCurrentIndex(filter);
    }
    on_comboBoxIpFilter_currentIndexChanged(filter);
    m_ui->comboBoxGateway->setCurrentIndex(acl.gateway == tunnel::Acl::ENABLED ? GATEWAY_ENABLED
                                                                               : GATEWAY_DISABLED);
    m_acl = acl;

    bool const saved = QDialog::exec() == QDialog::Accepted;
    m_acl = tunnel::Acl();
    return saved;
}

Array<String> AclEditDialog::parseList(QString const& text) {
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (lines.contains(QStringLiteral("\n\n")))
        lines.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    return gt::core::Strings(fromQString(lines), u"\n");
}

bool AclEditDialog::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(object)) return true;
    return QDialog::eventFilter(object, event);
}

void AclEditDialog::on_btnClose_clicked() { close(); }

void AclEditDialog::on_btnCancel_clicked() { close(); }

void AclEditDialog::on_btnOK_clicked() {
    m_acl.label = fromQString(m_ui->editLabel->text());
    int const filter = m_ui->comboBoxIpFilter->currentIndex();
    m_acl.ip_filter = filter == IP_WHITE_LIST   ? tunnel::Acl::ENABLED_WHITE
                      : filter == IP_BLACK_LIST ? tunnel::Acl::ENABLED_BLACK
                                                : tunnel::Acl::DISABLED;
    // Both lists go out whatever the mode, as last typed.
    m_acl.white = parseList(m_ui->editIp->property(IP_WHITE).toString());
    m_acl.black = parseList(m_ui->editIp->property(IP_BLACK).toString());
    m_acl.gateway = m_ui->comboBoxGateway->currentIndex() == GATEWAY_ENABLED ? tunnel::Acl::ENABLED
                                                                             : tunnel::Acl::DISABLED;

    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    bool const creating = m_acl.id < 0;
    tunnel::Acl const acl = m_acl;
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在保存…"), api,
            [&] { return creating ? api->createAcl(acl) : api->modifyAcl(acl.id, acl); }, &error)) {
        accept();
        return;
    }
    DialogParent::warn(this, creating ? QStringLiteral("未能创建") : QStringLiteral("未能保存"), error);
}

void AclEditDialog::on_comboBoxIpFilter_currentIndexChanged(int index) {
    QPlainTextEdit* box = m_ui->editIp;
    box->setProperty(WRITING, true);
    box->clear();
    if (index == IP_WHITE_LIST || index == IP_BLACK_LIST) {
        box->appendPlainText(box->property(index == IP_WHITE_LIST ? IP_WHITE : IP_BLACK).toString());
        box->setEnabled(true);
    } else {
        box->appendPlainText(toQString(IP_HINT));
        box->setEnabled(false);
    }
    box->setProperty(WRITING, false);
}

void AclEditDialog::on_editIp_textChanged() {
    QPlainTextEdit* box = m_ui->editIp;
    if (box->property(WRITING).toBool()) return;
    int const index = m_ui->comboBoxIpFilter->currentIndex();
    if (index == IP_WHITE_LIST) {
        box->setProperty(IP_WHITE, box->toPlainText());
    } else if (index == IP_BLACK_LIST) {
        box->setProperty(IP_BLACK, box->toPlainText());
    }
}

void AclEditDialog::on_btnMember_clicked() {
    AclMemberDialog dialog(this);
    dialog.exec(&m_acl.members);
}

void AclEditDialog::on_btnIpTip_clicked() {
    InformationDialog(this, true)
        .information(
            QStringLiteral("地址授权"),
            QStringLiteral(
                "<p><strong>开启IP白名单</strong><br>启用白名单时，白名单以外的一切IP来源都将被阻止。"
                "列表为空将阻止一切IP来源，请谨慎开启。</p>"
                "<p><strong>开启IP黑名单</strong><br>启用黑名单时，黑名单中的IP来源将被阻止。</p>"
                "<p><strong>列表格式</strong><br>IP地址一行一个，支持 * 作为通配符。</p>"));
}

void AclEditDialog::on_comboBoxGateway_activated(int index) {
    if (index != GATEWAY_ENABLED) return;
    QString const text = QStringLiteral(
                             "网关授权一旦开启后，加载了该策略的映射，将无法通过公网地址直接访问，"
                             "访问者必须同时运行网关服务（<a href='") +
                         WebLinks::gatewayHelp().toHtmlEscaped() +
                         QStringLiteral("'><font color='#CE891D'>详细说明</font></a>）。<br>确认开启？");
    if (!InformationDialog(this, true).question(QStringLiteral("网关授权"), text))
        m_ui->comboBoxGateway->setCurrentIndex(GATEWAY_DISABLED);
}
