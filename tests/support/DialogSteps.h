// Steps a Qt test takes inside a modal dialog that the code under test opens
// itself: the dialog runs its own event loop inside the call the test made,
// so a timer waits for the next newly shown dialog of a class and runs the
// step from that dialog's loop. Each step acts once, on one dialog; steps
// for dialogs that come one after the other are registered in that order
// before the call. Every wait has a deadline: a step whose dialog never
// shows gives up, and a dialog still open after its step is rejected, so a
// test fails instead of hanging.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "support/DialogWatcher.h"

namespace gt {
namespace test {

// What a step saw of a message box: its title and its text as plain text.
struct SeenDialog {
    bool shown = false;
    QString title;
    QString text;
};

inline SeenDialog describeDialog(QDialog* dialog) {
    DialogWatcher::Seen const noted = DialogWatcher::note(dialog);
    SeenDialog seen;
    seen.shown = true;
    seen.title = noted.title;
    seen.text = noted.text;
    return seen;
}

// Runs step on the next dialog of class D that shows (not one an earlier
// step took), from inside its event loop. Gives up after ms; a dialog left
// open by the step is rejected ms later. The result tells what was seen.
template <class D>
std::shared_ptr<SeenDialog> whenDialog(std::function<void(D*)> step, int ms = 10000) {
    using Clock = std::chrono::steady_clock;
    auto seen = std::make_shared<SeenDialog>();
    auto deadline = std::make_shared<Clock::time_point>(Clock::now() + std::chrono::milliseconds(ms));
    auto taken = std::make_shared<QPointer<D>>();
    auto timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (!seen->shown) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                D* dialog = qobject_cast<D*>(widget);
                if (!dialog || !dialog->isVisible() || dialog->property("stepTaken").toBool()) continue;
                // The busy window of a blocking call is not a dialog to answer.
                if (dialog->inherits("PendingDialog")) continue;
                dialog->setProperty("stepTaken", true);
                *seen = describeDialog(dialog);
                *taken = dialog;
                *deadline = Clock::now() + std::chrono::milliseconds(ms);
                step(dialog);
                return;
            }
        } else if (!*taken || !(*taken)->isVisible()) {
            timer->deleteLater();
            timer->stop();
            return;
        }
        if (Clock::now() > *deadline) {
            if (*taken) (*taken)->reject();
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return seen;
}

// Clicks the push button named name of a dialog, later, from the event loop
// (so that a step may click the button that ends the dialog it runs in).
inline void clickLater(QWidget* dialog, char const* name) {
    QPointer<QWidget> target(dialog);
    QTimer::singleShot(0, dialog, [target, name] {
        if (!target) return;
        if (auto button = target->findChild<QAbstractButton*>(QString::fromLatin1(name))) button->click();
    });
}

}  // namespace test
}  // namespace gt
