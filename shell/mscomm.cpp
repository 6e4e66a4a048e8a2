#include "mscomm.h"

MSComm::MSComm(const PortMap &ports, QObject *parent) : QObject(parent), m_ports(ports) {}
MSComm::~MSComm() = default;
void MSComm::setCommPort(int port) { m_commPort = port; }
void MSComm::setSettings(const QString &settings) { m_settings = settings; }
void MSComm::setInputLen(int length) { m_inputLen = length; }
bool MSComm::PortOpen() const { return false; }
void MSComm::setPortOpen(bool) {}
void MSComm::Output(const QByteArray &) {}
QByteArray MSComm::Input() { return {}; }
