// The slide of a panel that lies over the main window's body: in from below
// (the pages) or from above (the login panel), out the same way. The start
// point is the panel's height when the slide starts, not when the panel was
// built: the window scales its children after creating them (UiScale), and a
// page must come in from just outside the body at its present size.
#pragma once

#include <QAbstractAnimation>
#include <functional>
#include <memory>

class QPropertyAnimation;
class QWidget;

class PageSlide {
public:
    enum Side { FROM_BELOW, FROM_ABOVE };
    // How long a slide in or out takes.
    static constexpr int DURATION_MS = 100;

    // panel: not owned; it owns this slide (a member), so it outlives it.
    PageSlide(QWidget* panel, Side side);
    ~PageSlide();

    // Moves the panel from outside the body to (0, 0); a slide under way
    // is stopped first. Showing the panel is the caller's.
    void slideIn();
    // Moves the panel from (0, 0) out of the body; onSlidOut follows when
    // it got there.
    void slideOut();
    // Whether a slide out is under way.
    bool isSlidingOut() const;

    // Called once each slide out has ended (not when it was stopped by
    // another slide).
    std::function<void()> onSlidOut;

private:
    void _start(QAbstractAnimation::Direction direction);

    QWidget* m_panel;  // not owned
    Side m_side;
    std::unique_ptr<QPropertyAnimation> m_animation;
};
