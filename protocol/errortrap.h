// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <stdexcept>

// A failure of a device-facing operation (serial port, address box), carrying the error
// number the window's handlers test and a description for the operator.
class NumberedError : public std::runtime_error
{
public:
    NumberedError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), m_number(number),
          m_description(description)
    {
    }
    int number() const noexcept { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// The error trap of one handler: each step runs through run(); a step that fails is
// abandoned, the handler goes on with the next one, and the number and description of the
// most recent failure are kept until reset().
class ErrorTrap
{
public:
    template <typename Step> void run(Step &&step)
    {
        try {
            step();
        } catch (const NumberedError &e) {
            m_error = e.number();
            m_description = e.description();
        }
    }
    int error() const noexcept { return m_error; }
    QString description() const { return m_description; }
    bool failed() const noexcept { return m_error != 0; }
    void reset() noexcept
    {
        m_error = 0;
        m_description.clear();
    }

private:
    int m_error = 0;
    QString m_description;
};
