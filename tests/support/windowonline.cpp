#include "windowonline.h"

#include "form1.h"
#include "messageboxwatcher.h"
#include "mscomm.h"
#include "ptypair.h"
#include "scratchdir.h"

#include <QtTest>

WindowOnLine::WindowOnLine() = default;

WindowOnLine::~WindowOnLine()
{
    m_boxes.reset();
    m_form.reset(); // closes the port before the line goes
    m_device.reset();
    m_dir.reset();
}

void WindowOnLine::start()
{
    m_dir = std::make_unique<ScratchDir>();
    QVERIFY(m_dir->isValid());
    m_device = std::make_unique<PtyPair>();
    QVERIFY2(m_device->isValid(), qPrintable(m_device->errorString()));
    PortMap ports;
    ports.map(1, m_device->slavePath());
    m_form = std::make_unique<Form1>(ports);
    m_boxes = std::make_unique<MessageBoxWatcher>(m_form.get());
    m_form->Form_Load(); // no COMPORT yet: opens COM1
    QVERIFY(m_form->MSComm1->PortOpen());
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

QByteArray WindowOnLine::sent(qsizetype expected) const
{
    QByteArray bytes = expected > 0 ? m_device->read(int(expected), 2000) : QByteArray();
    return bytes + m_device->readFor(100);
}
