// Plays a Qt test's part in a row of modal dialogs that the code under test
// opens from inside its own calls: each step names the title it expects and
// what to do in that dialog (type, click), run from the dialog's own event
// loop. A dialog that shows while no step expects its title is noted and
// rejected, so that a test fails instead of hanging. Every dialog seen is
// noted with its title and its plain message text. One script at a time:
// a second one would take the first one's dialogs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QStringList>
#include <QTextDocument>
#include <QTimer>
#include <deque>
#include <functional>

#include "support/GuiTest.h"

namespace gt {
namespace test {

class DialogScript : public QObject {
public:
    using Action = std::function<void(QDialog*)>;

    DialogScript() {
        connect(&m_timer, &QTimer::timeout, this, &DialogScript::scan);
        m_timer.start(20);
    }

    // The next dialog titled title gets action.
    DialogScript& expect(QString const& title, Action action) {
        m_steps.push_back({title, std::move(action)});
        return *this;
    }

    // Ready-made actions: press a button, or type into the input box's
    // field (replacing the proposal) and accept it.
    static Action press(char const* button) {
        return [button](QDialog* dialog) {
            if (auto b = dialog->findChild<QPushButton*>(QString::fromLatin1(button))) b->click();
        };
    }
    static Action yes() { return press("btn_1"); }
    static Action no() { return press("btn_2"); }
    static Action type(QString const& text) {
        return [text](QDialog* dialog) {
            QLineEdit* edit = dialog->findChild<QLineEdit*>("editText");
            if (!edit) return dialog->reject();
            edit->selectAll();
            edit->setFocus();
            typeText(edit, text);
            if (auto ok = dialog->findChild<QPushButton*>("btn_1")) ok->click();
        };
    }

    bool done() const { return m_steps.empty(); }
    // "title: text" of every dialog seen, in order.
    QStringList const& seen() const { return m_seen; }
    QStringList const& unexpected() const { return m_unexpected; }
    // The proposal an input box showed, by its title (the last one seen).
    QString proposal(QString const& title) const { return m_proposals.value(title); }

private:
    struct Step {
        QString title;
        Action action;
    };

    static QString plainText(QDialog* dialog) {
        QLabel* label = dialog->findChild<QLabel*>("labelText");
        if (!label) label = dialog->findChild<QLabel*>("labelMsg");
        if (!label) return QString();
        if (label->textFormat() == Qt::PlainText) return label->text();
        QTextDocument document;
        document.setHtml(label->text());
        return document.toPlainText();
    }

    void scan() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QDialog* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible() || dialog->property("scriptSeen").toBool()) continue;
            dialog->setProperty("scriptSeen", true);
            QLabel* titleLabel = dialog->findChild<QLabel*>("labelTitle");
            QString const title = titleLabel ? titleLabel->text() : dialog->metaObject()->className();
            m_seen << title + ": " + plainText(dialog);
            if (QLineEdit* edit = dialog->findChild<QLineEdit*>("editText"))
                m_proposals[title] = edit->text();
            if (m_steps.empty() || m_steps.front().title != title) {
                m_unexpected << title;
                QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
                continue;
            }
            Action action = m_steps.front().action;
            m_steps.pop_front();
            QTimer::singleShot(0, dialog, [dialog, action] { action(dialog); });
        }
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QStringList m_seen;
    QStringList m_unexpected;
    QMap<QString, QString> m_proposals;
};

}  // namespace test
}  // namespace gt
