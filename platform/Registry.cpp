#include "Registry.h"

#include "Paths.h"
#include "TextCodec.h"

#include <QFile>

namespace {

constexpr qint64 kMaxRegistryFile = 1 << 20;

// Parses a quoted .reg string starting after the opening quote; handles \\ and \".
QString unquote(QStringView s, qsizetype* end)
{
    QString out;
    qsizetype i = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('\\') && i + 1 < s.size()) {
            out.append(s.at(++i));
        } else if (c == QLatin1Char('"')) {
            break;
        } else {
            out.append(c);
        }
    }
    *end = i;
    return out;
}

QString decodeFile(const QByteArray& raw)
{
    if (raw.startsWith("\xff\xfe"))
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData() + 2), (raw.size() - 2) / 2);
    return QString::fromUtf8(raw);
}

} // namespace

Registry::Registry(QString file) : m_file(file.isEmpty() ? Paths::registryFile() : std::move(file)) {}

std::optional<QByteArray> Registry::readRaw(const QString& key, const QString& value) const
{
    QFile f(m_file);
    if (f.size() > kMaxRegistryFile || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString text = decodeFile(f.read(kMaxRegistryFile));
    bool inKey = false;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inKey = line.endsWith(QLatin1Char(']')) && line.mid(1, line.size() - 2).compare(key, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inKey || !line.startsWith(QLatin1Char('"')))
            continue;
        qsizetype end = 0;
        const QString name = unquote(line.mid(1), &end);
        if (name.compare(value, Qt::CaseInsensitive) != 0)
            continue;
        QStringView rest = line.mid(1 + end + 1).trimmed();
        if (!rest.startsWith(QLatin1Char('=')))
            return std::nullopt;
        rest = rest.mid(1).trimmed();
        if (rest.startsWith(QLatin1Char('"'))) {
            QByteArray data = TextCodec::toAnsi(unquote(rest.mid(1), &end));
            data.append('\0');
            return data;
        }
        if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            bool ok = false;
            const quint32 v = rest.mid(6).toUInt(&ok, 16);
            if (!ok)
                return std::nullopt;
            QByteArray data(4, '\0');
            for (int i = 0; i < 4; ++i)
                data[i] = char((v >> (8 * i)) & 0xff);
            return data;
        }
        if (rest.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
            QByteArray data;
            for (QStringView byte : rest.mid(4).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bool ok = false;
                const uint b = byte.trimmed().toUInt(&ok, 16);
                if (!ok || b > 0xff)
                    return std::nullopt;
                data.append(char(b));
            }
            return data;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QString Registry::readString(const QString& key, const QString& value) const
{
    const auto raw = readRaw(key, value);
    if (!raw)
        return {};
    const qsizetype nul = raw->indexOf('\0');
    return TextCodec::fromAnsi(nul < 0 ? *raw : raw->left(nul));
}

bool Registry::isNonEmptyCString(const QString& key, const QString& value) const
{
    const auto raw = readRaw(key, value);
    return raw && !raw->isEmpty() && raw->at(0) != '\0';
}
