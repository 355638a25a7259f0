#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The error of the serial modem class: an HRESULT and a text.
//   system errors:  0x80070000 | Win32 error, text empty
//   protocol error: 0x80040204, text = what the modem sent so far
class CSMSException : public std::exception
{
public:
    static constexpr quint32 SystemErrorBase = 0x80070000;
    static constexpr quint32 ProtocolError = 0x80040204;
    static constexpr qsizetype MaxMessageLength = 4095;

    explicit CSMSException(quint32 code, const QString& text = QString());

    static CSMSException systemError(quint32 win32Error)
    {
        return CSMSException(SystemErrorBase | (win32Error & 0xFFFF));
    }
    static CSMSException protocolError(const QString& response) { return CSMSException(ProtocolError, response); }

    quint32 code() const { return m_code; }
    QString text() const { return m_text; }
    quint32 facility() const { return (m_code >> 16) & 0x1FFF; }

    // Facility 4: the string resource numbered by the low 16 bits with "%1"
    // replaced by the text. Any other facility: the system's message for the
    // low 16 bits, or the text when the system has none. A message holding
    // "The operation completed successfully." is no error and comes back empty.
    // At most MaxMessageLength characters.
    QString errorMessage() const;

    const char* what() const noexcept override { return m_what.constData(); }

private:
    quint32 m_code;
    QString m_text;
    QByteArray m_what;
};
