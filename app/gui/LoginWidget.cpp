#include "app/gui/LoginWidget.h"

#include <QPropertyAnimation>

#include "app/gui/GuiUtil.h"
#include "app/gui/MainTexts.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/WebLinks.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/EncryptedProperties.h"
#include "ui_LoginWidget.h"

using gt::core::String;

char16_t const* const LoginWidget::NAME_KEY = u"user.name";
char16_t const* const LoginWidget::PASSWORD_KEY = u"user.pwd";

LoginWidget::LoginWidget(QWidget* parent, MainWindow* mainWindow)
    : ModalWidget(parent),
      m_ui(new Ui::LoginWidget),
      m_mainWindow(mainWindow),
      m_firstShow(true),
      m_busy(false) {
    m_ui->setupUi(this);
    hide();
    m_animation.reset(new QPropertyAnimation(this, "pos"));
    m_animation->setStartValue(QPoint(0, -height()));
    m_animation->setEndValue(QPoint(0, 0));
    m_animation->setDuration(SLIDE_MS);
    connect(m_animation.get(), &QPropertyAnimation::finished, this, &LoginWidget::_on_animation_finished);
}

LoginWidget::~LoginWidget() { m_animation.reset(); }

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
        if (api->login(name, password)) {
            m_firstShow = false;
            return true;
        }
        _warn(QStringLiteral("未能登录"), toQString(api->errorMessage()));
    }
    m_ui->editName->setText(toQString(name));
    if (m_firstShow) {
        move(0, 0);
    } else {
        _slide(true);
    }
    return exec() == 1;
}

void LoginWidget::logout() {
    tunnel::IContext* context = m_mainWindow->context();
    context->apiClient()->logout();
    context->userProperties()->set(PASSWORD_KEY, String());
}

void LoginWidget::_slide(bool in) {
    // The panel's own height: the window may have been scaled since.
    m_animation->stop();
    m_animation->setStartValue(QPoint(0, -height()));
    m_animation->setDirection(in ? QAbstractAnimation::Forward : QAbstractAnimation::Backward);
    m_animation->start();
}

void LoginWidget::_warn(QString const& title, QString const& text) {
    MessageDialog dialog(m_mainWindow);
    dialog.warning(title, text);
}

void LoginWidget::on_btnClose_clicked() { m_mainWindow->close(); }

void LoginWidget::on_btnLogin_clicked() {
    // Already on its way out.
    if (m_animation->state() == QAbstractAnimation::Running &&
        m_animation->direction() == QAbstractAnimation::Backward)
        return;
    QString const name = m_ui->editName->text();
    QString const password = m_ui->editPwd->text();
    if (name.isEmpty() || password.isEmpty()) {
        _warn(QStringLiteral("提示"), QStringLiteral("请输入您的账号和密码，账号可使用用户名或手机号。"));
        return;
    }
    tunnel::IContext* context = m_mainWindow->context();
    tunnel::ApiClient* api = context->apiClient();
    if (!api->login(fromQString(name), fromQString(password))) {
        _warn(QStringLiteral("未能登录"), toQString(api->errorMessage()));
        return;
    }
    m_firstShow = false;
    context->userProperties()->set(NAME_KEY, fromQString(name));
    context->userProperties()->set(PASSWORD_KEY, fromQString(password));
    m_ui->editPwd->clear();
    _slide(false);
}

void LoginWidget::_on_animation_finished() {
    if (m_animation->direction() == QAbstractAnimation::Backward) accept();
}

void LoginWidget::on_editPwd_returnPressed() { on_btnLogin_clicked(); }

void LoginWidget::on_btnForget_clicked() { WebLinks::open(WebLinks::accountForget(), this); }

void LoginWidget::on_btnHelp_clicked() { WebLinks::open(WebLinks::help(), this); }

void LoginWidget::on_btnRegister_clicked() { WebLinks::open(WebLinks::accountRegister(), this); }
