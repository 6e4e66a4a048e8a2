#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

class Form1;
class MessageBoxWatcher;
class PtyPair;
class ScratchDir;

// The window as the program starts it, on a line the test holds: COM1 is mapped to the slave
// of a pseudo-terminal pair whose master stands in for the matrix, Form_Load opens it (in a
// scratch working directory for the COMPORT file), and the window is shown and active, so
// keys reach its focus widget. On the offscreen platform showing the window and asking for
// activation is enough for qWaitForWindowActive to see it active. Message boxes are recorded
// and closed.
class WindowOnLine
{
public:
    WindowOnLine();
    ~WindowOnLine();

    // Runs the start-up; call it in a test's init() (it reports failures with QVERIFY).
    void start();

    Form1 &form() const { return *m_form; }
    PtyPair &device() const { return *m_device; }
    MessageBoxWatcher &boxes() const { return *m_boxes; }

    // What the window sent: waits for the expected number of bytes, then a little longer for
    // any that should not come.
    QByteArray sent(qsizetype expected) const;

private:
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<PtyPair> m_device;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<MessageBoxWatcher> m_boxes;
};
