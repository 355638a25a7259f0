#include "TextCodec.h"

#include <QHash>
#include <QMutex>
#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

namespace {

// Windows-1252 is built in so that the default needs nothing from ICU. Bytes
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D map to the C1 controls of the same value,
// as the platform's own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// A code page as the program uses it. Single-byte pages get a table in both
// directions; anything else goes through Qt's ICU converters.
class CodePage
{
public:
    explicit CodePage(const QByteArray& name) : m_name(name)
    {
        if (name.compare("windows-1252", Qt::CaseInsensitive) == 0 || name.compare("cp1252", Qt::CaseInsensitive) == 0) {
            for (int b = 0; b < 256; ++b)
                m_toUnicode[b] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
            m_singleByte = true;
            m_valid = true;
        } else {
            QStringDecoder probe(name.constData());
            m_valid = probe.isValid();
            if (!m_valid)
                return;
            // A page is single-byte when each byte decodes on its own to one code unit.
            m_singleByte = true;
            for (int b = 0; b < 256 && m_singleByte; ++b) {
                QStringDecoder dec(name.constData(), QStringDecoder::Flag::Stateless);
                const char byte = char(b);
                QString s = dec.decode(QByteArrayView(&byte, 1));
                if (dec.hasError() || s.size() != 1)
                    m_singleByte = false;
                else
                    m_toUnicode[b] = s.at(0).unicode();
            }
        }
        if (m_singleByte) {
            for (int b = 255; b >= 0; --b)
                m_fromUnicode.insert(m_toUnicode[b], uchar(b));
        }
    }

    bool isValid() const { return m_valid; }
    const QByteArray& name() const { return m_name; }

    QString decode(const QByteArray& bytes) const
    {
        if (m_singleByte) {
            QString out(bytes.size(), Qt::Uninitialized);
            char16_t* d = reinterpret_cast<char16_t*>(out.data());
            for (qsizetype i = 0; i < bytes.size(); ++i)
                d[i] = m_toUnicode[uchar(bytes[i])];
            return out;
        }
        QStringDecoder dec(m_name.constData());
        return dec.decode(bytes);
    }

    // Encodes text; every character without an equivalent becomes `substitute`.
    QByteArray encode(const QString& text, char substitute) const
    {
        QByteArray out;
        out.reserve(text.size());
        const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
        const qsizetype n = text.size();
        qsizetype start = 0;
        if (m_singleByte) {
            // The common case in one pass over a buffer of the final size;
            // from the first surrogate on, the general loop below.
            out.resize(n);
            char* p = out.data();
            qsizetype& i = start;
            for (; i < n; ++i) {
                const char16_t c = s[i];
                if (QChar::isSurrogate(c))
                    break;
                if (c < 0x80 && m_toUnicode[c] == c) {
                    *p++ = char(c);
                } else {
                    auto it = m_fromUnicode.constFind(c);
                    *p++ = it == m_fromUnicode.cend() ? substitute : char(it.value());
                }
            }
            out.truncate(p - out.constData());
        }
        for (qsizetype i = start; i < n; ++i) {
            const char16_t c = s[i];
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
                // Outside the BMP: no single- or double-byte page has these.
                if (m_singleByte) {
                    out.append(substitute);
                    ++i;
                    continue;
                }
                appendEncoded(out, QStringView(s + i, 2), substitute);
                ++i;
                continue;
            }
            if (QChar::isSurrogate(c)) {
                out.append(substitute);
                continue;
            }
            if (m_singleByte) {
                if (c < 0x80 && m_toUnicode[c] == c) {
                    out.append(char(c));
                } else {
                    auto it = m_fromUnicode.constFind(c);
                    out.append(it == m_fromUnicode.cend() ? substitute : char(it.value()));
                }
            } else {
                appendEncoded(out, QStringView(s + i, 1), substitute);
            }
        }
        return out;
    }

    qsizetype encodedLength(const QString& text) const
    {
        if (m_singleByte) {
            // Each character, or each surrogate pair, is one byte.
            qsizetype len = 0;
            const qsizetype n = text.size();
            for (qsizetype i = 0; i < n; ++i) {
                if (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate())
                    ++i;
                ++len;
            }
            return len;
        }
        return encode(text, '?').size();
    }

private:
    void appendEncoded(QByteArray& out, QStringView ch, char substitute) const
    {
        QStringEncoder enc(m_name.constData(), QStringEncoder::Flag::Stateless);
        QByteArray bytes = enc.encode(ch);
        // The converter substitutes 0x1A for what it cannot map; a real U+001A
        // is mappable, so only treat 0x1A as a failure for other characters.
        if (enc.hasError() || bytes.isEmpty() || (bytes == "\x1a" && ch != QStringView(u"\x1a")))
            out.append(substitute);
        else
            out.append(bytes);
    }

    QByteArray m_name;
    bool m_valid = false;
    bool m_singleByte = false;
    std::array<char16_t, 256> m_toUnicode{};
    QHash<char16_t, uchar> m_fromUnicode;
};

struct Registry
{
    QMutex mutex;
    QHash<QByteArray, std::shared_ptr<const CodePage>> pages;
    QByteArray ansi;
};

Registry& registry()
{
    static Registry r;
    return r;
}

std::shared_ptr<const CodePage> codePage(const QByteArray& name)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    const QByteArray key = name.toLower();
    auto it = r.pages.constFind(key);
    if (it != r.pages.cend())
        return it.value();
    auto page = std::make_shared<const CodePage>(name);
    if (!page->isValid())
        return nullptr;
    r.pages.insert(key, page);
    return page;
}

std::shared_ptr<const CodePage> ansiPage()
{
    auto page = codePage(TextCodec::ansiCodePage());
    return page ? page : codePage(TextCodec::windows1252());
}

} // namespace

namespace TextCodec {

QByteArray ansiCodePage()
{
    Registry& r = registry();
    {
        QMutexLocker lock(&r.mutex);
        if (!r.ansi.isEmpty())
            return r.ansi;
    }
    QByteArray fromEnv = qgetenv("VEVA_SMS_ANSI_CODEPAGE");
    if (fromEnv.isEmpty() || !codePage(fromEnv))
        fromEnv = windows1252();
    QMutexLocker lock(&r.mutex);
    if (r.ansi.isEmpty())
        r.ansi = fromEnv;
    return r.ansi;
}

bool setAnsiCodePage(const QByteArray& name)
{
    if (!codePage(name))
        return false;
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.ansi = name;
    return true;
}

QByteArray toAnsi(const QString& text)
{
    return ansiPage()->encode(text, '?');
}

QString fromAnsi(const QByteArray& bytes)
{
    return ansiPage()->decode(bytes);
}

int ansiByteLength(const QString& text)
{
    return int(ansiPage()->encodedLength(text));
}

QString throughAnsi(const QString& text)
{
    const auto page = ansiPage();
    return page->decode(page->encode(text, '?'));
}

bool fitsAnsi(const QString& text)
{
    return throughAnsi(text) == text;
}

QString decode(const QByteArray& bytes, const QByteArray& name)
{
    auto page = codePage(name);
    return page ? page->decode(bytes) : ansiPage()->decode(bytes);
}

QByteArray encode(const QString& text, const QByteArray& name)
{
    auto page = codePage(name);
    return page ? page->encode(text, '?') : ansiPage()->encode(text, '?');
}

QString narrowWithHash(const QString& text, const QByteArray& name)
{
    auto page = codePage(name);
    if (!page)
        page = ansiPage();
    return page->decode(page->encode(text, '#'));
}

} // namespace TextCodec
