// A panel inside a window (not a window of its own) that blocks its caller
// like a modal dialog: exec() shows it and runs a private event loop until
// accept() or reject(). The login panel is built on it.
//
// The loop lives on exec()'s stack, not in the widget, so deleting the widget
// while exec() runs (its window closing, a deleteLater) ends the loop and
// exec() returns 0 without touching the gone widget.
#pragma once

#include <QWidget>

class QEventLoop;

class ModalWidget : public QWidget {
    Q_OBJECT
public:
    explicit ModalWidget(QWidget* parent = nullptr);
    // Ends a running exec() with 0.
    ~ModalWidget() override;

    // Shows and raises the widget and waits: 1 after accept(), 0 after
    // reject(), the widget's deletion or the application quitting. 0 at once
    // when already running (the running loop goes on).
    int exec();
    // While exec() runs: close the widget and make exec() return 1 or 0;
    // otherwise nothing.
    void accept();
    void reject();

    bool isRunning() const { return m_loop != nullptr; }

private:
    void _finish(int result);

    // exec()'s loop and result while it runs; null otherwise.
    QEventLoop* m_loop;
    int* m_result;
};
