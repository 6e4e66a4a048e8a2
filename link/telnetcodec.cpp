// SPDX-License-Identifier: MIT
#include "telnetcodec.h"

#include <algorithm>

namespace {

quint8 parityCode(SerialSettings::Parity parity)
{
    switch (parity) {
    case SerialSettings::Parity::None:
        return 1;
    case SerialSettings::Parity::Odd:
        return 2;
    case SerialSettings::Parity::Even:
        return 3;
    case SerialSettings::Parity::Mark:
        return 4;
    case SerialSettings::Parity::Space:
        return 5;
    }
    return 1;
}

quint8 stopCode(SerialSettings::StopBits stopBits)
{
    switch (stopBits) {
    case SerialSettings::StopBits::One:
        return 1;
    case SerialSettings::StopBits::Two:
        return 2;
    case SerialSettings::StopBits::OneAndHalf:
        return 3;
    }
    return 1;
}

void appendCommand(QByteArray *out, char verb, char option)
{
    out->append(TelnetCodec::IAC);
    out->append(verb);
    out->append(option);
}

void appendSubnegotiation(QByteArray *out, quint8 command, QByteArrayView value)
{
    out->append(TelnetCodec::IAC);
    out->append(TelnetCodec::SB);
    out->append(TelnetCodec::optComPort);
    out->append(char(command));
    out->append(TelnetCodec::escape(value));
    out->append(TelnetCodec::IAC);
    out->append(TelnetCodec::SE);
}

} // namespace

TelnetCodec::TelnetCodec(bool comPort, const SerialSettings &settings)
    : m_wantComPort(comPort), m_settings(settings)
{
}

QByteArray TelnetCodec::start()
{
    QByteArray out;
    if (m_wantComPort && m_comPort == ComPort::Off) {
        m_comPort = ComPort::Offered;
        appendCommand(&out, WILL, optComPort);
    }
    return out;
}

QByteArray TelnetCodec::escape(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.count(IAC));
    for (const char c : bytes) {
        out.append(c);
        if (c == IAC)
            out.append(IAC);
    }
    return out;
}

QByteArray TelnetCodec::settingsCommands(const SerialSettings &settings)
{
    QByteArray out;
    const auto baud = quint32(settings.baudRate);
    const char baudBytes[4] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    appendSubnegotiation(&out, SetBaudRate, QByteArrayView(baudBytes, 4));
    const char dataSize = char(settings.dataBits);
    appendSubnegotiation(&out, SetDataSize, QByteArrayView(&dataSize, 1));
    const char parity = char(parityCode(settings.parity));
    appendSubnegotiation(&out, SetParity, QByteArrayView(&parity, 1));
    const char stop = char(stopCode(settings.stopBits));
    appendSubnegotiation(&out, SetStopSize, QByteArrayView(&stop, 1));
    return out;
}

int TelnetCodec::confirmedSettings() const
{
    return int(std::count(std::begin(m_confirmed), std::end(m_confirmed), true));
}

QList<TelnetCodec::Event> TelnetCodec::takeEvents()
{
    return std::exchange(m_events, {});
}

void TelnetCodec::receive(QByteArrayView bytes, QByteArray *data, QByteArray *reply)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (m_state) {
        case State::Data:
            if (c == IAC)
                m_state = State::Iac;
            else
                data->append(c);
            break;
        case State::Iac:
            if (c == IAC) {
                data->append(IAC);
                m_state = State::Data;
            } else if (c == DO || c == DONT || c == WILL || c == WONT) {
                m_verb = c;
                m_state = State::Verb;
            } else if (c == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, GA, BRK and the like carry nothing for the line
            }
            break;
        case State::Verb:
            m_state = State::Data;
            negotiate(m_verb, c, reply);
            break;
        case State::Sub:
            if (c == IAC)
                m_state = State::SubIac;
            else if (m_sub.size() < maxSubnegotiation)
                m_sub.append(c);
            else
                m_subOverflow = true;
            break;
        case State::SubIac:
            if (c == IAC) {
                if (m_sub.size() < maxSubnegotiation)
                    m_sub.append(IAC);
                else
                    m_subOverflow = true;
                m_state = State::Sub;
            } else if (c == SE) {
                m_state = State::Data;
                subnegotiation();
            } else {
                // A command inside an unfinished subnegotiation: the far end gave it up.
                m_state = State::Iac;
                --i;
            }
            break;
        }
    }
}

void TelnetCodec::negotiate(char verb, char option, QByteArray *reply)
{
    const auto index = quint8(option);
    if (option == optComPort && m_wantComPort) {
        if (verb == DO && m_comPort != ComPort::Accepted) {
            if (m_comPort != ComPort::Offered)
                appendCommand(reply, WILL, optComPort);
            m_comPort = ComPort::Accepted;
            m_local[index] = true;
            reply->append(settingsCommands(m_settings));
            m_events.append({Event::Kind::ComPortAccepted});
            return;
        }
        if ((verb == DONT || verb == WONT) &&
            (m_comPort == ComPort::Offered || m_comPort == ComPort::Accepted)) {
            if (verb == DONT && m_local[index])
                appendCommand(reply, WONT, optComPort);
            m_local[index] = false;
            m_comPort = ComPort::Refused;
            m_events.append({Event::Kind::ComPortRefused});
            return;
        }
        if (verb == DO || verb == DONT || verb == WONT)
            return; // nothing changes: no answer, so that no loop starts
    }

    // Bytes pass unchanged only in binary mode; go-ahead is meaningless on a full-duplex line.
    const bool agreeable = option == optBinary || option == optSuppressGoAhead;
    if (verb == DO || verb == DONT) {
        const bool wanted = verb == DO && agreeable;
        if (wanted != m_local[index] || (verb == DO && !agreeable)) {
            m_local[index] = wanted;
            appendCommand(reply, wanted ? WILL : WONT, option);
        }
    } else {
        const bool wanted = verb == WILL && agreeable;
        if (wanted != m_remote[index] || (verb == WILL && !agreeable)) {
            m_remote[index] = wanted;
            appendCommand(reply, wanted ? DO : DONT, option);
        }
    }
}

void TelnetCodec::subnegotiation()
{
    if (m_subOverflow || m_sub.size() < 2 || m_sub[0] != optComPort)
        return;
    const int command = quint8(m_sub[1]) - 100;
    if (command < SetBaudRate || command > SetStopSize)
        return; // line and modem state notices and the like: the window has no use for them
    const QByteArrayView value = QByteArrayView(m_sub).sliced(2);
    quint32 number = 0;
    if (command == SetBaudRate) {
        if (value.size() != 4)
            return;
        for (const char c : value)
            number = (number << 8) | quint8(c);
    } else {
        if (value.size() != 1)
            return;
        number = quint8(value[0]);
    }
    m_confirmed[command - 1] = true;
    m_events.append({Event::Kind::ComPortConfirmed, command, number});
}
