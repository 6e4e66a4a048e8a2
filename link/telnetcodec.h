// SPDX-License-Identifier: MIT
#pragma once

#include "serialsettings.h"

#include <QByteArray>
#include <QList>

// The Telnet side of a serial device server's TCP port: bytes in, bytes and events out, no
// socket. It unwraps what the far end sends (IAC commands, option negotiation,
// subnegotiations, 0xFF sent as IAC IAC) into the line's own bytes, wraps what goes out
// (every 0xFF doubled), and answers the far end's option requests.
//
// With the COM Port Control option (option 44), start() offers the option; once the far end
// agrees (DO), the line settings go out as subnegotiations (baud rate, data size, parity, stop
// size) and the far end's confirmations come back as events. A far end that refuses (DONT or
// WONT) leaves a plain Telnet link: bytes still pass escaped, the line keeps its settings.
// Binary transmission and suppress-go-ahead are agreed to in both directions, so that bytes
// pass unchanged; every other option is refused.
class TelnetCodec
{
public:
    static constexpr char IAC = char(0xFF);
    static constexpr char DONT = char(0xFE);
    static constexpr char DO = char(0xFD);
    static constexpr char WONT = char(0xFC);
    static constexpr char WILL = char(0xFB);
    static constexpr char SB = char(0xFA);
    static constexpr char SE = char(0xF0);
    static constexpr char optBinary = 0;
    static constexpr char optSuppressGoAhead = 3;
    static constexpr char optComPort = 44;

    // COM Port Control commands, client to server; the server answers with the command + 100.
    enum ComPortCommand : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
    };
    // Longest subnegotiation kept; the rest of a longer one is dropped.
    static constexpr qsizetype maxSubnegotiation = 64;

    enum class ComPort { Off, Offered, Accepted, Refused };

    struct Event
    {
        enum class Kind {
            ComPortAccepted, // the far end agreed; settings have gone out
            ComPortRefused,  // the far end refused: a plain Telnet link
            ComPortConfirmed // the far end reports a setting: command (1..4) and value
        };
        Kind kind;
        int command = 0;
        quint32 value = 0;
        friend bool operator==(const Event &, const Event &) = default;
    };

    // comPort: negotiate option 44 and set the line to settings.
    explicit TelnetCodec(bool comPort, const SerialSettings &settings = {});

    // What to send right after connecting: the offer of option 44, or nothing.
    QByteArray start();

    // Takes the next bytes from the far end, in any pieces. Appends the line's bytes to *data
    // and what must be sent back (answers, settings) to *reply.
    void receive(QByteArrayView bytes, QByteArray *data, QByteArray *reply);
    // Events raised since the last call, oldest first.
    QList<Event> takeEvents();

    // The line's bytes as sent to the far end: every 0xFF doubled.
    static QByteArray escape(QByteArrayView bytes);

    ComPort comPort() const { return m_comPort; }
    // Number of the four settings the far end has confirmed.
    int confirmedSettings() const;

    // The settings as subnegotiations, in the order SET-BAUDRATE, -DATASIZE, -PARITY,
    // -STOPSIZE; the values as the option encodes them.
    static QByteArray settingsCommands(const SerialSettings &settings);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };

    void negotiate(char verb, char option, QByteArray *reply);
    void subnegotiation();

    bool m_wantComPort;
    SerialSettings m_settings;
    ComPort m_comPort = ComPort::Off;
    State m_state = State::Data;
    char m_verb = 0;
    QByteArray m_sub;
    bool m_subOverflow = false;
    // Options we agreed to (WILL sent: local; DO sent: remote), to answer each change once.
    bool m_local[256] = {};
    bool m_remote[256] = {};
    bool m_confirmed[4] = {};
    QList<Event> m_events;
};
