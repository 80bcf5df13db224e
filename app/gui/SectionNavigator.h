// The section bar of an editor: a column of checkable buttons beside a
// scroll area whose content is cut into sections, each opened by a heading.
// A click on a button scrolls its heading to the top; scrolling checks the
// button of the last heading at or above the top of the view, so the bar
// always shows where the user is. The bar's look (plain text, the current
// section in the accent colour) is set here for every editor.
#pragma once

#include <QList>
#include <QObject>

class QAbstractButton;
class QScrollArea;
class QScrollBar;
class QWidget;

class SectionNavigator : public QObject {
    Q_OBJECT

public:
    struct Section {
        QAbstractButton* button;
        QWidget* heading;  // a child of the scroll area's content
    };

    // The navigator is a child of the area; the buttons and headings belong
    // to the same form. The buttons become checkable and exclusive within
    // their parent; the first one is checked.
    SectionNavigator(QScrollArea* area, QList<Section> const& sections);

    // Scrolls to the section (0 for the first); nothing outside the list.
    void scrollTo(int index);
    // The section whose button is checked; -1 when none is.
    int current() const;

private:
    void _onScrolled(int value);

    QScrollBar* m_bar;  // the area's, which owns the navigator
    QList<Section> m_sections;
    // Set while a scroll checks a button, whose toggle must not scroll back.
    bool m_following;
};
