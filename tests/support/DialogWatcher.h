// Answers the client's modal dialogs for a Qt test: dialogs run their own
// event loop inside whatever the test is waiting for, so a timer looks for a
// newly shown dialog (a top-level QDialog becoming visible, nested ones
// included, the busy window excepted) every 10 ms and notes its class,
// title, text and, for an input box, its echo mode. The notes stay for the test to check.
//
// A test may script its part: each step given with then() is run, in order,
// on the next dialog that shows, from that dialog's own event loop (a step
// may drive the dialog further and make it show others). A dialog without a
// step left gets the plain answer: btn_1 "是" when told to agree and the
// dialog shows it, else btn_2, else it is rejected. Once a script was given,
// such a dialog counts as unexpected, and dialogs that stay open while no new
// one shows for WATCHDOG_MS are closed, so that a test fails instead of
// hanging.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <functional>

namespace gt {
namespace test {

class DialogWatcher : public QObject {
public:
    using Step = std::function<void(QDialog*)>;

    struct Seen {
        QString className;
        QString title;
        QString text;   // plain text of the message or the input box's prompt
        int echo = -1;  // QLineEdit::EchoMode of an input box, else -1
    };

    static constexpr int WATCHDOG_MS = 15000;

    explicit DialogWatcher(bool agree = false) : m_agree(agree) {
        connect(&m_timer, &QTimer::timeout, this, &DialogWatcher::scan);
        m_timer.start(10);
        m_idle.start();
    }

    void setAgree(bool agree) { m_agree = agree; }
    DialogWatcher& then(Step step) {
        m_steps.append(std::move(step));
        m_scripted = true;
        return *this;
    }

    // Steps for the client's message and input boxes.
    static Step yes() {
        return [](QDialog* d) { press(d, "btn_1"); };
    }
    static Step no() {
        return [](QDialog* d) { press(d, "btn_2"); };
    }
    // The one button of a message box ("确定").
    static Step ok() { return no(); }
    static Step cancel() {
        return [](QDialog* d) { d->reject(); };
    }
    // An input box answered with text.
    static Step type(QString text) {
        return [text](QDialog* d) {
            if (QLineEdit* edit = d->findChild<QLineEdit*>("editText")) edit->setText(text);
            press(d, "btn_1");
        };
    }
    // Clicks the named button when it shows, else rejects the dialog.
    static void press(QDialog* dialog, char const* name) {
        QPushButton* button = dialog->findChild<QPushButton*>(QString::fromLatin1(name));
        if (button && button->isVisible()) {
            button->click();
        } else {
            dialog->reject();
        }
    }

    QList<Seen> const& seen() const { return m_seen; }
    void clear() { m_seen.clear(); }
    // Every step has been taken and none of the dialogs seen is open any more.
    bool done() const {
        if (!m_steps.isEmpty()) return false;
        for (QPointer<QDialog> const& d : m_open)
            if (d && d->isVisible()) return false;
        return true;
    }
    int unexpected() const { return m_unexpected; }
    // The first dialog seen with that title; null when none was.
    Seen const* find(QString const& title) const {
        for (Seen const& s : m_seen)
            if (s.title == title) return &s;
        return nullptr;
    }
    QString titles() const {
        QStringList list;
        for (Seen const& s : m_seen)
            list << s.title + ": " + s.text;
        return list.join(" | ");
    }

    void scan() {
        for (int i = m_open.count() - 1; i >= 0; --i)
            if (!m_open[i] || !m_open[i]->isVisible()) m_open.removeAt(i);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QDialog* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible() || m_open.contains(dialog)) continue;
            // The busy window of a blocking call asks nothing and closes
            // itself: it is neither answered nor noted, and while it shows
            // the dialogs under it wait for the call, they do not hang.
            if (dialog->inherits("PendingDialog")) {
                m_idle.restart();
                continue;
            }
            m_open.append(dialog);
            m_idle.restart();
            m_seen.append(note(dialog));
            Step step;
            if (!m_steps.isEmpty()) {
                step = m_steps.takeFirst();
            } else {
                if (m_scripted) ++m_unexpected;
                bool const agree = m_agree;
                step = [agree](QDialog* d) {
                    QPushButton* yes = d->findChild<QPushButton*>("btn_1");
                    press(d, agree && yes && yes->isVisible() ? "btn_1" : "btn_2");
                };
            }
            // Answered from the dialog's own loop, once it runs.
            QPointer<QDialog> target(dialog);
            QTimer::singleShot(0, dialog, [target, step] {
                if (target) step(target);
            });
        }
        if (m_scripted && !m_open.isEmpty() && m_idle.elapsed() > WATCHDOG_MS) {
            m_idle.restart();
            ++m_unexpected;
            for (int i = m_open.count() - 1; i >= 0; --i)
                if (m_open[i]) m_open[i]->reject();
        }
    }

    static Seen note(QDialog* dialog) {
        Seen seen;
        seen.className = dialog->metaObject()->className();
        if (QLabel* title = dialog->findChild<QLabel*>("labelTitle")) seen.title = title->text();
        if (QLabel* text = dialog->findChild<QLabel*>("labelText")) {
            QTextDocument document;
            document.setHtml(text->text());
            seen.text = text->textFormat() == Qt::PlainText ? text->text() : document.toPlainText();
        } else if (QTextBrowser* browser = dialog->findChild<QTextBrowser*>("textBrowser")) {
            seen.text = browser->toPlainText();
        } else if (QLabel* prompt = dialog->findChild<QLabel*>("labelMsg")) {
            seen.text = prompt->text();
        }
        if (QLineEdit* edit = dialog->findChild<QLineEdit*>("editText")) seen.echo = edit->echoMode();
        return seen;
    }

private:
    bool m_agree;
    bool m_scripted = false;
    int m_unexpected = 0;
    QTimer m_timer;
    QElapsedTimer m_idle;
    QList<Step> m_steps;
    QList<QPointer<QDialog>> m_open;
    QList<Seen> m_seen;
};

}  // namespace test
}  // namespace gt
