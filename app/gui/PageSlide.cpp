#include "app/gui/PageSlide.h"

#include <QPropertyAnimation>
#include <QWidget>

PageSlide::PageSlide(QWidget* panel, Side side)
    : m_panel(panel), m_side(side), m_animation(std::make_unique<QPropertyAnimation>(panel, "pos")) {
    m_animation->setEndValue(QPoint(0, 0));
    m_animation->setDuration(DURATION_MS);
    QObject::connect(m_animation.get(), &QPropertyAnimation::finished, [this] {
        if (m_animation->direction() == QAbstractAnimation::Backward && onSlidOut) onSlidOut();
    });
}

PageSlide::~PageSlide() = default;

void PageSlide::slideIn() { _start(QAbstractAnimation::Forward); }

void PageSlide::slideOut() { _start(QAbstractAnimation::Backward); }

bool PageSlide::isSlidingOut() const {
    return m_animation->state() == QAbstractAnimation::Running &&
           m_animation->direction() == QAbstractAnimation::Backward;
}

void PageSlide::_start(QAbstractAnimation::Direction direction) {
    // A running animation ignores start(): stop it so that the new start
    // point and direction take effect.
    m_animation->stop();
    int const height = m_panel->height();
    m_animation->setStartValue(QPoint(0, m_side == FROM_BELOW ? height : -height));
    m_animation->setDirection(direction);
    m_animation->start();
}
