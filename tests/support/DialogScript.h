// Plays a Qt test's part in a row of modal dialogs: each dialog that shows
// (a top-level QDialog becoming visible, nested ones included) is noted with
// its class, title, text and, for an input box, its echo mode, and gets the
// next step of the script, run from the dialog's own event loop. A dialog
// that shows when no step is left is noted as unexpected and rejected. When
// no new dialog shows for the watchdog time while some are still open, they
// are closed, so that a test fails instead of hanging.
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

class DialogScript : public QObject {
public:
    using Step = std::function<void(QDialog*)>;

    struct Seen {
        QString className;
        QString title;
        QString text;   // plain text of the message or prompt
        int echo = -1;  // QLineEdit::EchoMode of an input box, else -1
    };

    static constexpr int WATCHDOG_MS = 15000;

    DialogScript() {
        connect(&m_timer, &QTimer::timeout, this, &DialogScript::_scan);
        m_timer.start(10);
        m_idle.start();
    }

    DialogScript& then(Step step) {
        m_steps.append(std::move(step));
        return *this;
    }

    // Steps for the client's message and input boxes.
    static Step yes() {
        return [](QDialog* d) { clickButton(d, "btn_1"); };
    }
    static Step no() {
        return [](QDialog* d) { clickButton(d, "btn_2"); };
    }
    // The one button of a message box ("确定").
    static Step ok() {
        return [](QDialog* d) { clickButton(d, "btn_2"); };
    }
    static Step cancel() {
        return [](QDialog* d) { d->reject(); };
    }
    // An input box answered with text.
    static Step type(QString text) {
        return [text](QDialog* d) {
            if (QLineEdit* edit = d->findChild<QLineEdit*>("editText")) edit->setText(text);
            clickButton(d, "btn_1");
        };
    }

    static void clickButton(QDialog* dialog, char const* name) {
        if (QPushButton* button = dialog->findChild<QPushButton*>(QString::fromLatin1(name))) {
            if (button->isVisible()) {
                button->click();
                return;
            }
        }
        dialog->reject();
    }

    // Every step has been taken and no dialog of them is open any more.
    bool done() const { return m_steps.isEmpty() && _openCount() == 0; }
    QList<Seen> const& seen() const { return m_seen; }
    int unexpected() const { return m_unexpected; }
    QStringList titles() const {
        QStringList list;
        for (Seen const& s : m_seen)
            list << s.title;
        return list;
    }
    // Titles and texts, for a failure message.
    QString describe() const {
        QStringList list;
        for (Seen const& s : m_seen)
            list << s.className + " " + s.title + ": " + s.text;
        return list.join(" | ");
    }

private:
    int _openCount() const {
        int n = 0;
        for (QPointer<QDialog> const& d : m_open)
            if (d && d->isVisible()) ++n;
        return n;
    }

    void _scan() {
        for (int i = m_open.count() - 1; i >= 0; --i)
            if (!m_open[i] || !m_open[i]->isVisible()) m_open.removeAt(i);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QDialog* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible() || m_open.contains(dialog)) continue;
            m_open.append(dialog);
            m_idle.restart();
            m_seen.append(_note(dialog));
            Step step;
            if (m_steps.isEmpty()) {
                ++m_unexpected;
                step = cancel();
            } else {
                step = m_steps.takeFirst();
            }
            QPointer<QDialog> target(dialog);
            QTimer::singleShot(0, dialog, [target, step] {
                if (target) step(target);
            });
        }
        if (!m_open.isEmpty() && m_idle.elapsed() > WATCHDOG_MS) {
            m_idle.restart();
            ++m_unexpected;
            for (int i = m_open.count() - 1; i >= 0; --i)
                if (m_open[i]) m_open[i]->reject();
        }
    }

    static Seen _note(QDialog* dialog) {
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

    QTimer m_timer;
    QElapsedTimer m_idle;
    QList<Step> m_steps;
    QList<QPointer<QDialog>> m_open;
    QList<Seen> m_seen;
    int m_unexpected = 0;
};

}  // namespace test
}  // namespace gt
