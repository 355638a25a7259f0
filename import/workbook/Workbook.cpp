#include "Workbook.h"

#include <QStringDecoder>

#include <algorithm>
#include <stdexcept>

namespace Workbook {

namespace {

bool positionLess(const Cell& a, const Cell& b)
{
    return a.row != b.row ? a.row < b.row : a.col < b.col;
}

} // namespace

char16_t* TextPool::room(size_t length, Ref& ref)
{
    if (length > 0xffffffffu)
        throw std::length_error("text too long for a cell");
    const size_t need = length + 2;
    if (need > kBlockChars - m_used) {
        if (need > kBlockChars / 4) {
            // A long text takes a block of its own; the block being filled stays the current one.
            m_blocks.emplace_back(new char16_t[need]);
            m_roomOwnBlock = true;
            ref = Ref(m_blocks.size() - 1) << 32;
            return m_blocks.back().get();
        }
        m_blocks.emplace_back(new char16_t[kBlockChars]);
        m_current = m_blocks.size() - 1;
        m_used = 0;
    }
    m_roomOwnBlock = false;
    ref = Ref(m_current) << 32 | Ref(m_used);
    return m_blocks[m_current].get() + m_used;
}

void TextPool::setLength(char16_t* at, size_t length)
{
    at[0] = char16_t(length & 0xffff);
    at[1] = char16_t(length >> 16);
}

TextPool::Ref TextPool::add(QStringView text)
{
    const auto length = size_t(text.size());
    Ref ref = 0;
    char16_t* p = room(length, ref);
    setLength(p, length);
    std::copy_n(text.utf16(), length, p + 2);
    if (!m_roomOwnBlock)
        m_used += length + 2;
    return ref;
}

TextPool::Ref TextPool::addUtf8(QByteArrayView utf8)
{
    // UTF-8 takes at least one byte for each UTF-16 unit.
    const auto most = size_t(utf8.size());
    Ref ref = 0;
    char16_t* p = room(most, ref);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QChar* end = decoder.appendToBuffer(reinterpret_cast<QChar*>(p + 2), utf8);
    const auto length = size_t(end - reinterpret_cast<QChar*>(p + 2));
    setLength(p, length);
    if (!m_roomOwnBlock)
        m_used += length + 2;
    return ref;
}

void TextPool::clear()
{
    m_blocks.clear();
    m_current = 0;
    m_used = kBlockChars;
    m_roomOwnBlock = false;
}

void Sheet::add(const CellValue& cell)
{
    switch (cell.kind) {
    case CellKind::Empty:
        addEmpty(cell.row, cell.col, cell.formulaWithoutResult);
        break;
    case CellKind::Text:
    case CellKind::Error:
        addText(cell.row, cell.col, cell.kind, cell.text);
        break;
    case CellKind::Number:
    case CellKind::Boolean:
    case CellKind::Date:
        addNumber(cell.row, cell.col, cell.kind, cell.number);
        break;
    }
}

void Sheet::finish()
{
    // Stable, so that of two cells at one position the later one survives below.
    // Readers mostly add cells in order already, which is then checked in one pass.
    if (!std::is_sorted(m_cells.begin(), m_cells.end(), positionLess))
        std::stable_sort(m_cells.begin(), m_cells.end(), positionLess);
    auto last = m_cells.begin();
    for (auto it = m_cells.begin(); it != m_cells.end(); ++it) {
        if (it == last)
            continue;
        if (!positionLess(*last, *it))
            *last = *it;
        else if (++last != it)
            *last = *it;
    }
    if (!m_cells.empty())
        m_cells.erase(last + 1, m_cells.end());
    // Readers reserve by the size of the sheet's data; only a list mostly unused
    // is worth the copy that shrinking takes.
    if (m_cells.capacity() - m_cells.size() > m_cells.size())
        m_cells.shrink_to_fit();

    if (m_cells.empty()) {
        m_firstRow = m_firstCol = m_lastRow = m_lastCol = 0;
        return;
    }
    m_firstRow = m_cells.front().row;
    m_lastRow = m_cells.back().row;
    m_firstCol = m_lastCol = m_cells.front().col;
    for (const Cell& c : m_cells) {
        m_firstCol = std::min<quint32>(m_firstCol, c.col);
        m_lastCol = std::max<quint32>(m_lastCol, c.col);
    }
}

void Sheet::clear()
{
    m_cells.clear();
    m_ownText.clear();
    m_sharedText.reset();
    m_firstRow = m_firstCol = m_lastRow = m_lastCol = 0;
}

const Cell* Sheet::find(quint32 row, quint32 col) const
{
    if (col >= kMaxColumns)
        return nullptr;
    Cell probe;
    probe.row = row;
    probe.col = quint16(col);
    auto it = std::lower_bound(m_cells.begin(), m_cells.end(), probe, positionLess);
    if (it == m_cells.end() || it->row != row || it->col != col)
        return nullptr;
    return &*it;
}

std::vector<const Cell*> Sheet::column(quint32 col) const
{
    std::vector<const Cell*> out;
    if (col >= kMaxColumns)
        return out;
    for (const Cell& c : m_cells) {
        if (c.col == col)
            out.push_back(&c);
    }
    return out;
}

bool isSpreadsheetExtension(const QString& extension)
{
    static const QStringList kExtensions = {QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("csv"),
                                            QStringLiteral("ods")};
    return kExtensions.contains(extension, Qt::CaseInsensitive);
}

bool parseCellReference(QStringView ref, quint32& row, quint32& col)
{
    qsizetype i = 0;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    quint64 c = 0;
    const qsizetype letters = i;
    while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 0x80) {
        c = c * 26 + (ref[i].toUpper().unicode() - u'A' + 1);
        if (c > kMaxColumns)
            return false;
        ++i;
    }
    if (i == letters)
        return false;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    quint64 r = 0;
    const qsizetype digits = i;
    while (i < ref.size() && ref[i].isDigit() && ref[i].unicode() < 0x80) {
        r = r * 10 + (ref[i].unicode() - u'0');
        if (r > kMaxRows)
            return false;
        ++i;
    }
    if (i == digits || i != ref.size() || r == 0)
        return false;
    row = quint32(r - 1);
    col = quint32(c - 1);
    return true;
}

} // namespace Workbook
