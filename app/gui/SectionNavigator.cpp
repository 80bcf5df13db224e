#include "app/gui/SectionNavigator.h"

#include <QAbstractButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

// The form's own style sheets style the other push buttons by their
// "checkable" property; the section buttons carry their own.
constexpr char kButtonStyle[] =
    "QAbstractButton { border: none; background: transparent; color: #aaa; text-align: left; }\n"
    "QAbstractButton:checked { color: #FFA924; }\n"
    "QAbstractButton:!checked:hover { color: #FF9600; }\n";

}  // namespace

SectionNavigator::SectionNavigator(QScrollArea* area, QList<Section> const& sections)
    : QObject(area), m_bar(area->verticalScrollBar()), m_sections(sections), m_following(false) {
    for (int index = 0; index < m_sections.size(); ++index) {
        QAbstractButton* button = m_sections[index].button;
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setStyleSheet(QString::fromLatin1(kButtonStyle));
        connect(button, &QAbstractButton::toggled, this, [this, index](bool checked) {
            if (checked && !m_following) scrollTo(index);
        });
    }
    if (!m_sections.isEmpty()) {
        m_following = true;
        m_sections.first().button->setChecked(true);
        m_following = false;
    }
    connect(m_bar, &QScrollBar::valueChanged, this, &SectionNavigator::_onScrolled);
}

void SectionNavigator::scrollTo(int index) {
    if (index < 0 || index >= m_sections.size()) return;
    m_bar->setValue(m_sections[index].heading->y());
}

int SectionNavigator::current() const {
    for (int index = 0; index < m_sections.size(); ++index)
        if (m_sections[index].button->isChecked()) return index;
    return -1;
}

void SectionNavigator::_onScrolled(int value) {
    if (m_sections.isEmpty()) return;
    int index = 0;
    for (int next = 1; next < m_sections.size(); ++next)
        if (m_sections[next].heading->y() <= value) index = next;
    m_following = true;
    m_sections[index].button->setChecked(true);
    m_following = false;
}
