#include "app/gui/DeviceEditDialog.h"

#include <QScrollBar>
#include "app/IContext.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SectionNavigator.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"
#include "tunnel/api/ApiClient.h"
#include "ui_DeviceEditDialog.h"

DeviceEditDialog::DeviceEditDialog(IMainWindow* mainWindow)
    : QDialog(mainWindow->mainWidget()),
      m_ui(std::make_unique<Ui::DeviceEditDialog>()),
      m_mainWindow(mainWindow),
      m_sections(nullptr) {
    GT_ASSERT(m_mainWindow);
    m_ui->setupUi(this);
    FramelessWindow::setupPopup(m_ui->comboBoxInstance);
    m_sections = new SectionNavigator(m_ui->scrollAreaMain, {{m_ui->btnSection1, m_ui->labelSection1},
                                                             {m_ui->btnSection2, m_ui->labelSection2}});
    FramelessWindow::setupDialog(this, mainWindow->mainWidget());
}

DeviceEditDialog::~DeviceEditDialog() = default;

bool DeviceEditDialog::exec(tunnel::Device const& device) {
    if (isVisible()) return false;
    m_ui->editLabel->setText(toQString(device.label));
    m_device = device;
    bool const saved = QDialog::exec() == QDialog::Accepted;
    m_device = tunnel::Device();
    return saved;
}

void DeviceEditDialog::on_btnClose_clicked() { close(); }

void DeviceEditDialog::on_btnCancel_clicked() { close(); }

void DeviceEditDialog::on_btnCreateInstance_clicked() {
    InputDialog input(this);
    input.getText(QStringLiteral("新建实例"), QStringLiteral("请输入一个名称便于区分（比如：分支办公室）"),
                  QString());
}

void DeviceEditDialog::on_btnOK_clicked() {
    gt::core::Dictionary<gt::core::Any> fields;
    fields.set(u"label", gt::core::Any(fromQString(m_ui->editLabel->text())));
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    long long const id = m_device.id;
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在保存…"), api, [&] { return api->modifyDevice(id, fields); },
            &error)) {
        accept();
        return;
    }
    DialogParent::warn(this, QStringLiteral("未能保存"), error);
}
