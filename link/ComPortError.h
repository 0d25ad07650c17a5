#pragma once

#include <QString>
#include <stdexcept>

// A failure of the serial port component. The text is "<message> - <component name> ", e.g.
// "Read data error - AfComPort1 ", which the application's error handler recognises.
class ComPortError : public std::runtime_error
{
public:
    ComPortError(const QString &message, const QString &componentName);

    // The message without the component's name.
    QString message() const { return m_message; }
    QString text() const { return QString::fromUtf8(what()); }

private:
    QString m_message;
};
