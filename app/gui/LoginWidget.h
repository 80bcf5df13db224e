// The login panel: lies over the whole body of the main window and holds the
// window's tick until the account is logged in. With a saved name and
// password it logs in without showing itself; otherwise it appears (at once
// the first time, sliding down from above later) and asks for them. What
// succeeded is saved; logging out forgets the password and keeps the name.
#pragma once

#include <QString>
#include <memory>

#include "app/gui/ModalWidget.h"

class IMainWindow;
class QPropertyAnimation;

namespace Ui {
class LoginWidget;
}

class LoginWidget : public ModalWidget {
    Q_OBJECT

public:
    // Settings keys of the saved account.
    static char16_t const* const NAME_KEY;      // "user.name"
    static char16_t const* const PASSWORD_KEY;  // "user.pwd"
    // How long the panel takes to slide in or out.
    static constexpr int SLIDE_MS = 100;

    // parent: the main window's body; mainWindow is not owned and outlives
    // the panel.
    LoginWidget(QWidget* parent, IMainWindow* mainWindow);
    ~LoginWidget() override;

    // False at once when a login is already being asked for; else whether
    // the account is logged in at the end.
    bool requireLogin();
    bool _requireLogin();
    // Logs the account out and forgets the saved password.
    void logout();

signals:
    // The user pressed the panel's close button: the window is to close,
    // which ends the program.
    void closeRequested();

private slots:
    void on_btnClose_clicked();
    void on_btnLogin_clicked();
    void _on_animation_finished();
    void on_editPwd_returnPressed();
    void on_btnForget_clicked();
    void on_btnHelp_clicked();
    void on_btnRegister_clicked();

private:
    void _slide(bool in);
    void _warn(QString const& title, QString const& text);

    std::unique_ptr<Ui::LoginWidget> m_ui;
    IMainWindow* m_mainWindow;                        // not owned
    std::unique_ptr<QPropertyAnimation> m_animation;  // goes before the form
    bool m_firstShow;
    bool m_busy;
};
