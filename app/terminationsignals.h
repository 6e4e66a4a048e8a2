#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP end the program as closing the window does: the event loop
// ends, the window and its serial port are destroyed, and the port's hold and lock file are
// released. The handler only writes the signal's number into a pipe; the event loop reads it
// and reports arrived(). The same signal a second time ends the program at once, as it would
// without this class (for a program that does not get back to its event loop).
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // The signal that arrived and was handled by the event loop; 0 while none has.
    int received() const { return m_received; }

signals:
    void arrived(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
};
