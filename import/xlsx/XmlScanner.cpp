#include "XmlScanner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace Xlsx {

namespace {

// A text longer than this between two tags is left to expat, which reads it in pieces.
constexpr size_t kMaxHeld = size_t(4) << 20;
constexpr size_t kChunk = 64 * 1024;

enum : unsigned char
{
    Plain = 1,     // character data as it stands
    NameStart = 2, // may begin a name
    NameChar = 4,  // may continue a name
    Space = 8,
};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> c{};
    for (int i = 0x20; i < 0x7f; ++i)
        c[size_t(i)] = Plain;
    c[size_t('\t')] = c[size_t('\n')] = Plain;
    c[size_t('&')] = c[size_t('<')] = c[size_t(']')] = 0;
    c[size_t(0x7f)] = Plain;
    for (int i = 'a'; i <= 'z'; ++i)
        c[size_t(i)] |= NameStart | NameChar;
    for (int i = 'A'; i <= 'Z'; ++i)
        c[size_t(i)] |= NameStart | NameChar;
    for (int i = '0'; i <= '9'; ++i)
        c[size_t(i)] |= NameChar;
    c[size_t('_')] |= NameStart | NameChar;
    c[size_t(':')] |= NameStart | NameChar;
    c[size_t('-')] |= NameChar;
    c[size_t('.')] |= NameChar;
    c[size_t(' ')] |= Space;
    c[size_t('\t')] |= Space;
    c[size_t('\n')] |= Space;
    c[size_t('\r')] |= Space;
    return c;
}
constexpr std::array<unsigned char, 256> kClass = makeClasses();

inline bool is(char c, unsigned char what)
{
    return kClass[static_cast<unsigned char>(c)] & what;
}

const char* skipSpace(const char* p, const char* end)
{
    while (p < end && is(*p, Space))
        ++p;
    return p;
}

// A name: ASCII only (others are left to expat). Returns its end, or `p` when none starts there.
const char* name(const char* p, const char* end)
{
    if (p == end || !is(*p, NameStart))
        return p;
    ++p;
    while (p < end && is(*p, NameChar))
        ++p;
    return p;
}

std::string_view localName(std::string_view qualified)
{
    const size_t colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

bool isXmlChar(quint32 c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendUtf8(std::string& out, quint32 c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence of an XML character at `p`, or 0.
size_t utf8Length(const char* p, const char* end)
{
    const auto b = [&](size_t i) { return static_cast<unsigned char>(p[i]); };
    const auto tail = [&](size_t i) { return p + i < end && (b(i) & 0xC0) == 0x80; };
    const unsigned char lead = b(0);
    if (lead >= 0xC2 && lead <= 0xDF)
        return tail(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!tail(1) || !tail(2))
            return 0;
        const quint32 c = quint32(lead & 0x0F) << 12 | quint32(b(1) & 0x3F) << 6 | (b(2) & 0x3F);
        return c >= 0x800 && isXmlChar(c) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!tail(1) || !tail(2) || !tail(3))
            return 0;
        const quint32 c =
            quint32(lead & 0x07) << 18 | quint32(b(1) & 0x3F) << 12 | quint32(b(2) & 0x3F) << 6 | (b(3) & 0x3F);
        return c >= 0x10000 && c <= 0x10FFFF ? 4 : 0;
    }
    return 0;
}

// An entity or character reference after '&' up to ';' (p at '&'); its character
// appended to `out`. Returns the position after ';', or nullptr when it is none
// of those this scanner knows.
const char* reference(const char* p, const char* end, std::string& out)
{
    const char* semi = static_cast<const char*>(std::memchr(p, ';', size_t(std::min<ptrdiff_t>(end - p, 12))));
    if (!semi)
        return nullptr;
    const std::string_view ref(p + 1, size_t(semi - p - 1));
    if (ref == "amp")
        out += '&';
    else if (ref == "lt")
        out += '<';
    else if (ref == "gt")
        out += '>';
    else if (ref == "quot")
        out += '"';
    else if (ref == "apos")
        out += '\'';
    else if (ref.size() >= 2 && ref[0] == '#') {
        quint32 c = 0;
        const bool hex = ref[1] == 'x';
        const std::string_view digits = ref.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8)
            return nullptr;
        for (const char d : digits) {
            int v = -1;
            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (hex && d >= 'a' && d <= 'f')
                v = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F')
                v = d - 'A' + 10;
            if (v < 0)
                return nullptr;
            c = c * (hex ? 16 : 10) + quint32(v);
        }
        if (!isXmlChar(c))
            return nullptr;
        appendUtf8(out, c);
    } else {
        return nullptr;
    }
    return semi + 1;
}

} // namespace

bool XmlScanner::unescape(const char* p, const char* end, bool attribute)
{
    m_scratch.clear();
    while (p < end) {
        const char* plain = p;
        while (p < end && is(*p, Plain))
            ++p;
        if (attribute) {
            // Attribute values make tabs and line ends spaces.
            for (const char* q = plain; q < p; ++q)
                m_scratch += *q == '\t' || *q == '\n' ? ' ' : *q;
        } else {
            m_scratch.append(plain, size_t(p - plain));
        }
        if (p == end)
            break;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '&') {
            p = reference(p, end, m_scratch);
            if (!p)
                return false;
        } else if (c == '\r') {
            m_scratch += attribute ? ' ' : '\n';
            ++p;
            if (p < end && *p == '\n')
                ++p;
        } else if (c == ']') {
            if (!attribute && end - p >= 3 && p[1] == ']' && p[2] == '>')
                return false;
            m_scratch += ']';
            ++p;
        } else if (c >= 0x80) {
            const size_t n = utf8Length(p, end);
            if (n == 0)
                return false;
            m_scratch.append(p, n);
            p += n;
        } else {
            return false; // '<' in a value, or a control character
        }
    }
    return true;
}

XmlScanner::Status XmlScanner::feed(std::string_view piece, bool last)
{
    if (m_consumed > 0) {
        m_buffer.erase(0, m_consumed);
        m_consumed = 0;
    }
    m_buffer.append(piece);
    const Status status = parse(last);
    if (status == Status::More && m_buffer.size() - m_consumed > kMaxHeld)
        return Status::Unsupported;
    return status;
}

bool XmlScanner::declaration(size_t& at, bool last, bool& more)
{
    // A UTF-8 byte order mark, then perhaps <?xml version="1.0" encoding="UTF-8" standalone="yes"?>.
    more = false;
    const std::string_view all(m_buffer);
    if (all.starts_with("\xEF\xBB\xBF"))
        at = 3;
    const std::string_view doc = all.substr(at);
    // Six bytes after the mark tell a declaration from another processing instruction.
    if (doc.size() < 6 && !last) {
        more = true;
        return true;
    }
    if (!doc.starts_with("<?xml"))
        return true;
    if (doc.size() < 6)
        return false;
    if (!is(doc[5], Space))
        return false; // another processing instruction, or a malformed one
    const size_t close = doc.find("?>");
    if (close == std::string_view::npos) {
        more = !last && doc.size() < 1024;
        return more;
    }
    const char* p = doc.data() + 5;
    const char* end = doc.data() + close;
    const char* names[] = {"version", "encoding", "standalone"};
    size_t next = 0; // the pseudo-attributes come in this order, version first
    bool any = false;
    for (;;) {
        const char* before = p;
        p = skipSpace(p, end);
        if (p == end)
            break;
        if (p == before)
            return false;
        const char* nameEnd = name(p, end);
        const std::string_view attr(p, size_t(nameEnd - p));
        p = skipSpace(nameEnd, end);
        if (p == end || *p != '=')
            return false;
        p = skipSpace(p + 1, end);
        if (p == end || (*p != '"' && *p != '\''))
            return false;
        const char* valueEnd = static_cast<const char*>(std::memchr(p + 1, *p, size_t(end - p - 1)));
        if (!valueEnd)
            return false;
        std::string value(p + 1, valueEnd);
        p = valueEnd + 1;
        size_t k = next;
        while (k < std::size(names) && attr != names[k])
            ++k;
        if (k == std::size(names) || (!any && k != 0))
            return false;
        // Encoding names are compared without letter case; the others are as written.
        if (k == 1)
            std::transform(value.begin(), value.end(), value.begin(), [](char c) { return char(std::tolower(c)); });
        if ((k == 0 && value != "1.0") || (k == 1 && value != "utf-8") || (k == 2 && value != "yes" && value != "no"))
            return false;
        next = k + 1;
        any = true;
    }
    if (!any)
        return false;
    at += close + 2;
    return true;
}

XmlScanner::Status XmlScanner::parse(bool last)
{
    if (m_prolog) {
        size_t at = 0;
        bool more = false;
        if (!declaration(at, last, more))
            return Status::Unsupported;
        if (more)
            return Status::More;
        m_prolog = false;
        m_consumed = at;
    }
    const char* const begin = m_buffer.data();
    const char* const end = begin + m_buffer.size();
    const char* p = begin + m_consumed;
    Status status = Status::More;
    while (p < end) {
        if (*p != '<') {
            const char* lt = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)));
            if (!lt && !last)
                break;
            if (!lt)
                lt = end;
            if ((status = text(p, lt)) != Status::More)
                return status;
            p = lt;
            continue;
        }
        if (end - p < 2) {
            if (last)
                return Status::Unsupported;
            break;
        }
        if (p[1] == '/') {
            const char* gt = static_cast<const char*>(std::memchr(p, '>', size_t(end - p)));
            if (!gt) {
                if (last)
                    return Status::Unsupported;
                break;
            }
            if ((status = endTag(p + 2, gt)) != Status::More)
                return status;
            p = gt + 1;
            continue;
        }
        if (p[1] == '?' || p[1] == '!')
            return Status::Unsupported; // processing instructions, comments, CDATA, a DTD
        // The tag's end: the first '>' outside quotes.
        const char* q = p + 1;
        char quote = 0;
        for (; q < end; ++q) {
            const char c = *q;
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '>') {
                break;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '<') {
                return Status::Unsupported;
            }
        }
        if (q == end) {
            if (last)
                return Status::Unsupported;
            break;
        }
        if ((status = startTag(p + 1, q)) != Status::More)
            return status;
        p = q + 1;
    }
    m_consumed = size_t(p - begin);
    if (!last)
        return Status::More;
    if (p != end || !m_rootSeen || !m_openEnds.empty())
        return Status::Unsupported;
    return Status::Done;
}

XmlScanner::Status XmlScanner::startTag(const char* p, const char* end)
{
    if (m_rootSeen && m_openEnds.empty())
        return Status::Unsupported; // a second root element
    const char* nameEnd = name(p, end);
    if (nameEnd == p)
        return Status::Unsupported;
    const std::string_view qualified(p, size_t(nameEnd - p));
    m_attributes.clear();
    m_attributeAt.clear();
    bool empty = false;
    p = nameEnd;
    for (;;) {
        const char* before = p;
        p = skipSpace(p, end);
        if (p == end)
            break;
        if (*p == '/') {
            if (p + 1 != end)
                return Status::Unsupported;
            empty = true;
            break;
        }
        if (p == before)
            return Status::Unsupported; // attributes are set apart by white space
        const char* attrEnd = name(p, end);
        if (attrEnd == p)
            return Status::Unsupported;
        const std::string_view attr(p, size_t(attrEnd - p));
        for (size_t i = 0; i < m_attributeAt.size(); i += 2) {
            if (attr == std::string_view(m_attributes.data() + m_attributeAt[i]))
                return Status::Unsupported; // the same attribute twice
        }
        p = skipSpace(attrEnd, end);
        if (p == end || *p != '=')
            return Status::Unsupported;
        p = skipSpace(p + 1, end);
        if (p == end || (*p != '"' && *p != '\''))
            return Status::Unsupported;
        const char* valueEnd = static_cast<const char*>(std::memchr(p + 1, *p, size_t(end - p - 1)));
        if (!valueEnd || !unescape(p + 1, valueEnd, true))
            return Status::Unsupported;
        m_attributeAt.push_back(m_attributes.size());
        m_attributes.append(attr);
        m_attributes += '\0';
        m_attributeAt.push_back(m_attributes.size());
        m_attributes.append(m_scratch);
        m_attributes += '\0';
        p = valueEnd + 1;
    }
    m_pointers.clear();
    for (const size_t at : m_attributeAt)
        m_pointers.push_back(m_attributes.data() + at);
    m_pointers.push_back(nullptr);

    m_rootSeen = true;
    const std::string_view local = localName(qualified);
    m_handler.start(local, m_pointers.data());
    if (m_handler.failed())
        return Status::Failed;
    if (empty) {
        m_handler.end(local);
        if (m_handler.failed())
            return Status::Failed;
    } else {
        m_open.append(qualified);
        m_openEnds.push_back(m_open.size());
    }
    return Status::More;
}

XmlScanner::Status XmlScanner::endTag(const char* p, const char* end)
{
    const char* nameEnd = name(p, end);
    if (nameEnd == p || skipSpace(nameEnd, end) != end || m_openEnds.empty())
        return Status::Unsupported;
    const std::string_view qualified(p, size_t(nameEnd - p));
    const size_t from = m_openEnds.size() > 1 ? m_openEnds[m_openEnds.size() - 2] : 0;
    if (std::string_view(m_open).substr(from) != qualified)
        return Status::Unsupported; // not the element that is open
    m_open.resize(from);
    m_openEnds.pop_back();
    m_handler.end(localName(qualified));
    return m_handler.failed() ? Status::Failed : Status::More;
}

XmlScanner::Status XmlScanner::text(const char* p, const char* end)
{
    if (m_openEnds.empty()) {
        // Outside the root element only white space may stand.
        return skipSpace(p, end) == end ? Status::More : Status::Unsupported;
    }
    const char* q = p;
    while (q < end && is(*q, Plain))
        ++q;
    if (q == end) {
        m_handler.characters(std::string_view(p, size_t(end - p)));
    } else {
        if (!unescape(p, end, false))
            return Status::Unsupported;
        m_handler.characters(m_scratch);
    }
    return m_handler.failed() ? Status::Failed : Status::More;
}

XmlScanner::Status scanXmlPart(ZipPackage& package, const QString& partName, qint64 limit, XmlHandler& handler,
                               QString& error)
{
    using Status = XmlScanner::Status;
    const qint64 index = package.find(partName);
    if (index < 0) {
        error = QStringLiteral("part %1 is missing").arg(partName);
        return Status::Failed;
    }
    ZipPackage::Reader reader(package, index, limit);
    if (!reader.isOpen()) {
        error = reader.error();
        return Status::Failed;
    }
    XmlScanner scanner(handler);
    std::string chunk(kChunk, '\0');
    for (;;) {
        const qint64 n = reader.read(chunk.data(), qint64(chunk.size()));
        if (n < 0) {
            error = reader.error();
            return Status::Failed;
        }
        const Status status = scanner.feed(std::string_view(chunk.data(), size_t(n)), n == 0);
        if (status == Status::Failed)
            error = QStringLiteral("%1 %2").arg(partName, handler.failure());
        if (status != Status::More)
            return status;
        if (n == 0)
            return Status::Unsupported; // cannot happen: the last piece ends the document one way or another
    }
}

} // namespace Xlsx
