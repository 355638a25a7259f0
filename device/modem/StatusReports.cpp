#include "StatusReports.h"

void UrcScanner::feed(const QByteArray& bytes)
{
    m_partial += bytes;
    for (;;) {
        qsizetype end = -1;
        for (qsizetype i = 0; i < m_partial.size(); ++i) {
            if (m_partial.at(i) == '\r' || m_partial.at(i) == '\n') {
                end = i;
                break;
            }
        }
        if (end < 0)
            break;
        const QByteArray text = m_partial.left(end).trimmed();
        m_partial.remove(0, end + 1);
        if (!text.isEmpty())
            line(text);
    }
    // A modem that never ends its line is not worth more memory.
    if (m_partial.size() > 4096)
        m_partial.clear();
}

void UrcScanner::line(const QByteArray& text)
{
    if (m_pduNext) {
        m_pduNext = false;
        m_codes.append({Code::Kind::Report, text, {}, -1});
        return;
    }
    if (text.startsWith("+CDS:")) {
        m_pduNext = true;
    } else if (text.startsWith("+CDSI:")) {
        const QList<QByteArray> fields = text.mid(6).split(',');
        bool ok = false;
        const int index = fields.value(1).trimmed().toInt(&ok);
        if (fields.size() == 2 && ok && index >= 0)
            m_codes.append({Code::Kind::Stored, {}, fields.at(0).trimmed().replace('"', QByteArray()), index});
    }
}

QList<UrcScanner::Code> UrcScanner::take()
{
    return std::exchange(m_codes, {});
}

bool UrcScanner::endsInsideReport(const QByteArray& received)
{
    if (!received.endsWith('\n') && !received.endsWith('\r'))
        return true;
    const QList<QByteArray> lines = received.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray text = it->trimmed();
        if (!text.isEmpty())
            return text.startsWith("+CDS:");
    }
    return false;
}
