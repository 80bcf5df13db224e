// Where a widget stood each time it was shown: a page or panel that slides
// in starts outside the body, and its first position tells where from.
#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QWidget>

namespace gt {
namespace test {

class ShowRecorder : public QObject {
public:
    explicit ShowRecorder(QWidget* widget) { widget->installEventFilter(this); }
    QList<QPoint> positions;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) positions.append(static_cast<QWidget*>(watched)->pos());
        return false;
    }
};

}  // namespace test
}  // namespace gt
