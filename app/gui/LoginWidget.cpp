#include "app/gui/LoginWidget.h"

#include <QPropertyAnimation>
#include "app/IContext.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/MainTexts.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/PageSlide.h"
#include "app/gui/WebLinks.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/EncryptedProperties.h"
#include "ui_LoginWidget.h"

using gt::core::String;

char16_t const* const LoginWidget::NAME_KEY = u"user.name";
char16_t const* const LoginWidget::PASSWORD_KEY = u"user.pwd";

LoginWidget::LoginWidget(QWidget* parent, IMainWindow* mainWindow)
    : ModalWidget(parent),
      m_ui(new Ui::LoginWidget),
      m_mainWindow(mainWindow),
      m_firstShow(true),
      m_busy(false) {
    m_ui->setupUi(this);
    hide();
    m_slide = std::make_unique<PageSlide>(this, PageSlide::FROM_ABOVE);
    m_slide->onSlidOut = [this] { accept(); };
}

LoginWidget::~LoginWidget() { m_slide.reset(); }

bool LoginWidget::requireLogin() {
    if (m_busy) return false;
    m_busy = true;
    bool const done = _requireLogin();
    m_busy = false;
    return done;
}

bool LoginWidget::_requireLogin() {
    tunnel::IContext* context = m_mainWindow->context();
    tunnel::EncryptedProperties* settings = context->userProperties();
    tunnel::ApiClient* api = context->apiClient();
    String const name = settings->get(NAME_KEY);
    String const password = settings->get(PASSWORD_KEY);
    if (!name.isEmpty() && !password.isEmpty()) {
        QString error;
        if (cloudCall(
                m_mainWindow, QStringLiteral("正在登录…"), api, [&] { return api->login(name, password); },
                &error)) {
            m_firstShow = false;
            return true;
        }
        DialogParent::warn(this, QStringLiteral("未能登录"), error);
    }
    m_ui->editName->setText(toQString(name));
    if (m_firstShow) {
        move(0, 0);
    } else {
        m_slide->slideIn();
    }
    return exec() == 1;
}

void LoginWidget::logout() {
    tunnel::IContext* context = m_mainWindow->context();
    tunnel::ApiClient* api = context->apiClient();
    m_mainWindow->execute(QStringLiteral("正在退出登录…"), [api] { api->logout(); });
    tunnel::EncryptedProperties* settings = context->userProperties();
    if (settings->set(PASSWORD_KEY, String())) return;
    // Left in the file, the password would log the next start in again
    // unasked.
    DialogParent::warn(
        this, QStringLiteral("未能清除密码"),
        QStringLiteral("已退出登录，但保存的密码未能从设置文件中清除，下次启动时仍会自动登录。\n") +
            toQString(settings->lastSaveError()));
}

void LoginWidget::on_btnClose_clicked() { emit closeRequested(); }

void LoginWidget::on_btnLogin_clicked() {
    // Already on its way out.
    if (m_slide->isSlidingOut()) return;
    QString const name = m_ui->editName->text();
    QString const password = m_ui->editPwd->text();
    if (name.isEmpty() || password.isEmpty()) {
        DialogParent::warn(this, QStringLiteral("提示"),
                           QStringLiteral("请输入您的账号和密码，账号可使用用户名或手机号。"));
        return;
    }
    tunnel::IContext* context = m_mainWindow->context();
    tunnel::ApiClient* api = context->apiClient();
    String const login = fromQString(name);
    String const secret = fromQString(password);
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在登录…"), api, [&] { return api->login(login, secret); },
            &error)) {
        DialogParent::warn(this, QStringLiteral("未能登录"), error);
        return;
    }
    m_firstShow = false;
    tunnel::EncryptedProperties* settings = context->userProperties();
    gt::core::Dictionary<String> account;
    account.set(NAME_KEY, fromQString(name));
    account.set(PASSWORD_KEY, fromQString(password));
    if (!settings->set(account)) {
        String const reason = settings->lastSaveError();
        // The file may still hold an earlier account's password: the next
        // start must ask rather than try it. The name stays when it can.
        gt::core::Dictionary<String> nameOnly;
        nameOnly.set(NAME_KEY, fromQString(name));
        nameOnly.set(PASSWORD_KEY, String());
        if (!settings->set(nameOnly)) settings->set(PASSWORD_KEY, String());
        DialogParent::warn(this, QStringLiteral("未能保存密码"),
                           QStringLiteral("已登录，但密码未能保存到设置文件，下次启动时需要重新输入。\n") +
                               toQString(reason));
    }
    m_ui->editPwd->clear();
    m_slide->slideOut();
}

void LoginWidget::on_editPwd_returnPressed() { on_btnLogin_clicked(); }

void LoginWidget::on_btnForget_clicked() { InformationDialog::openLink(WebLinks::accountForget(), this); }

void LoginWidget::on_btnHelp_clicked() { InformationDialog::openLink(WebLinks::help(), this); }

void LoginWidget::on_btnRegister_clicked() { InformationDialog::openLink(WebLinks::accountRegister(), this); }
