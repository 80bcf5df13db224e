// Answers the client's modal dialogs for a Qt test: dialogs run their own
// event loop inside whatever the test is waiting for, so a timer looks for a
// newly shown dialog every 20 ms, notes its title and text, and presses a
// button (btn_1 "是" when told to agree and the dialog shows it, else btn_2,
// else rejects it). The notes stay for the test to check.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include "support/DialogSteps.h"

namespace gt {
namespace test {

class DialogWatcher : public QObject {
public:
    struct Seen {
        QString className;
        QString title;
        QString text;  // plain text of the message
    };

    explicit DialogWatcher(bool agree = false) : m_agree(agree) {
        connect(&m_timer, &QTimer::timeout, this, &DialogWatcher::scan);
        m_timer.start(20);
    }

    void setAgree(bool agree) { m_agree = agree; }
    QList<Seen> const& seen() const { return m_seen; }
    void clear() { m_seen.clear(); }
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
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QDialog* dialog = qobject_cast<QDialog*>(widget);
            if (!dialog || !dialog->isVisible() || dialog->property("watcherSeen").toBool()) continue;
            dialog->setProperty("watcherSeen", true);
            SeenDialog const described = describeDialog(dialog);
            m_seen.append(Seen{dialog->metaObject()->className(), described.title, described.text});
            QPushButton* yes = dialog->findChild<QPushButton*>("btn_1");
            QPushButton* no = dialog->findChild<QPushButton*>("btn_2");
            // Answered from the dialog's own loop, once it runs.
            QTimer::singleShot(0, dialog, [this, dialog, yes, no] {
                if (m_agree && yes && yes->isVisible()) {
                    yes->click();
                } else if (no && no->isVisible()) {
                    no->click();
                } else {
                    dialog->reject();
                }
            });
        }
    }

private:
    bool m_agree;
    QTimer m_timer;
    QList<Seen> m_seen;
};

}  // namespace test
}  // namespace gt
