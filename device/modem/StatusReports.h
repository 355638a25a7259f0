#pragma once

#include <QByteArray>
#include <QList>

// Picks the status-report codes out of what a modem sends unasked (3GPP TS
// 27.005 3.4.1): "+CDS: <length>" with the report's PDU on the next line, or
// "+CDSI: <memory>,<index>" for one kept in the modem's storage. Bytes may come
// in any pieces; a line is read once it is complete. Everything else is passed over.
class UrcScanner
{
public:
    struct Code
    {
        enum class Kind
        {
            Report, // pdu holds the report in hexadecimal
            Stored  // memory and index say where it waits
        };
        Kind kind = Kind::Report;
        QByteArray pdu;
        QByteArray memory;
        int index = -1;
    };

    void feed(const QByteArray& bytes);
    // The codes read so far, oldest first; they are handed out once.
    QList<Code> take();
    // A reply whose last line is "+CDS:" still waits for its PDU.
    static bool endsInsideReport(const QByteArray& received);

private:
    void line(const QByteArray& text);

    QByteArray m_partial;
    bool m_pduNext = false;
    QList<Code> m_codes;
};
