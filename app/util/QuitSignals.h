// Closes the client in order when the system asks it to end: SIGTERM (the
// desktop session ending, a parent stopping it), SIGINT and SIGHUP (its
// terminal) make the application quit its event loops, so that main returns
// and the main window logs out and stops the service program it started.
//
// The handler only writes one byte into a pipe (async-signal-safe); a
// notifier on the GUI thread reads it and quits.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tunnel {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; needs the application object. One per process.
    explicit QuitSignals(QObject* parent = nullptr);
    // Restores the default actions and closes the pipe.
    ~QuitSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

private:
    void _onSignal();

    QSocketNotifier* m_notifier;  // child of this object
};

}  // namespace tunnel
