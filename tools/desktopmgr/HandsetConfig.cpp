#include "HandsetConfig.h"

#include <QFile>
#include <QSaveFile>

bool parsePin(const QString& text, quint32* pin)
{
    const QString t = text.trimmed();
    bool ok = false;
    qulonglong value = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = t.mid(2);
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        value = digits.toULongLong(&ok, 16);
    } else {
        if (t.isEmpty() || !t.front().isDigit())
            return false;
        value = t.toULongLong(&ok, 10);
    }
    if (!ok || value == 0 || value > 0xFFFFFFFFull)
        return false;
    *pin = static_cast<quint32>(value);
    return true;
}

QString pinText(quint32 pin)
{
    return QString::number(pin, 16).toUpper();
}

namespace {

bool parseBool(const QString& text, bool* out)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
        *out = true;
    else if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
        *out = false;
    else
        return false;
    return true;
}

Variant propertyValue(const QString& text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return Variant::fromString(text.mid(1, text.size() - 2));
    Variant number;
    const Variant source = Variant::fromString(text);
    if (SUCCEEDED(VariantChangeType(&number, &source, 0, VT_I4)))
        return number;
    return source;
}

bool isComment(const QString& line)
{
    return line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'));
}

} // namespace

bool HandsetConfig::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.exists()) {
        m_lines.clear();
        m_handsets.clear();
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.size() > kMaxFileBytes) {
        *error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(kMaxFileBytes);
        return false;
    }
    if (!parse(text, error)) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    return true;
}

bool HandsetConfig::parse(const QByteArray& text, QString* error)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QList<HandsetSpec> handsets;
    QList<bool> hasPin;

    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines.at(n)).trimmed();
        const auto fail = [&](const QString& why) {
            *error = QStringLiteral("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        if (isComment(line))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail(QStringLiteral("section header without a name or closing bracket"));
            HandsetSpec spec;
            spec.section = line.mid(1, line.size() - 2).trimmed();
            for (const HandsetSpec& other : handsets) {
                if (other.section.compare(spec.section, Qt::CaseInsensitive) == 0)
                    return fail(QStringLiteral("section [%1] appears twice").arg(spec.section));
            }
            handsets.append(spec);
            hasPin.append(false);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("expected key=value"));
        if (handsets.isEmpty())
            return fail(QStringLiteral("value outside a handset section"));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        const QString lower = key.toLower();
        HandsetSpec& spec = handsets.last();

        if (lower == QLatin1String("pin")) {
            if (!parsePin(value, &spec.pin))
                return fail(QStringLiteral("PIN \"%1\" is not a non-zero 32-bit number").arg(value));
            hasPin.last() = true;
        } else if (lower == QLatin1String("description")) {
            spec.description = value;
        } else if (lower == QLatin1String("attached")) {
            if (!parseBool(value, &spec.attached))
                return fail(QStringLiteral("Attached must be true or false"));
        } else if (lower == QLatin1String("moduleinstalled")) {
            if (!parseBool(value, &spec.moduleInstalled))
                return fail(QStringLiteral("ModuleInstalled must be true or false"));
        } else if (lower.startsWith(QLatin1String("property."))) {
            const QString name = key.mid(9);
            if (name.isEmpty())
                return fail(QStringLiteral("property without a name"));
            if (name == QLatin1String("BBPIN") || name == QLatin1String("Description"))
                return fail(QStringLiteral("property %1 is set by PIN or Description").arg(name));
            spec.extraProperties.append({name, propertyValue(value)});
        } else if (lower == QLatin1String("modemcom")) {
            bool ok = false;
            spec.modemCom = value.toInt(&ok);
            if (!ok || spec.modemCom < 0 || spec.modemCom > 255)
                return fail(QStringLiteral("ModemCom must be a port number from 1 to 255 (0: no modem)"));
        } else if (lower == QLatin1String("modemdescription")) {
            spec.modemDescription = value;
        } else if (lower == QLatin1String("modemmode")) {
            spec.modemMode = value.toLower();
            if (spec.modemMode != QLatin1String("normal") && spec.modemMode != QLatin1String("echo-only") &&
                spec.modemMode != QLatin1String("silent") && spec.modemMode != QLatin1String("flood"))
                return fail(QStringLiteral("ModemMode must be normal, echo-only, silent or flood"));
        } else if (lower == QLatin1String("modemmanufacturer")) {
            spec.modemManufacturer = value.toUtf8();
        } else if (lower == QLatin1String("modemmodel")) {
            spec.modemModel = value.toUtf8();
        } else {
            return fail(QStringLiteral("unknown key \"%1\"").arg(key));
        }
    }

    for (qsizetype i = 0; i < handsets.size(); ++i) {
        if (!hasPin.at(i)) {
            *error = QStringLiteral("handset [%1] has no PIN").arg(handsets.at(i).section);
            return false;
        }
        for (qsizetype j = 0; j < i; ++j) {
            if (handsets.at(j).pin == handsets.at(i).pin) {
                *error = QStringLiteral("handsets [%1] and [%2] share the PIN %3")
                             .arg(handsets.at(j).section, handsets.at(i).section, pinText(handsets.at(i).pin));
                return false;
            }
            if (handsets.at(i).modemCom != 0 && handsets.at(j).modemCom == handsets.at(i).modemCom) {
                *error = QStringLiteral("handsets [%1] and [%2] share COM%3")
                             .arg(handsets.at(j).section, handsets.at(i).section)
                             .arg(handsets.at(i).modemCom);
                return false;
            }
        }
    }
    m_lines = lines;
    m_handsets = handsets;
    return true;
}

void HandsetConfig::setAttached(int index, bool attached)
{
    m_handsets[index].attached = attached;
    setValue(m_handsets.at(index).section, QStringLiteral("Attached"),
             attached ? QStringLiteral("true") : QStringLiteral("false"));
}

void HandsetConfig::setModuleInstalled(int index, bool installed)
{
    m_handsets[index].moduleInstalled = installed;
    setValue(m_handsets.at(index).section, QStringLiteral("ModuleInstalled"),
             installed ? QStringLiteral("true") : QStringLiteral("false"));
}

void HandsetConfig::setValue(const QString& section, const QString& key, const QString& value)
{
    qsizetype start = -1;
    qsizetype lastValueLine = -1;
    for (qsizetype n = 0; n < m_lines.size(); ++n) {
        const QString line = QString::fromUtf8(m_lines.at(n)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (start >= 0)
                break;
            if (line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) == 0)
                start = lastValueLine = n;
            continue;
        }
        if (start < 0 || isComment(line))
            continue;
        lastValueLine = n;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString lineKey = line.left(eq).trimmed();
        if (lineKey.compare(key, Qt::CaseInsensitive) == 0) {
            m_lines[n] = (lineKey + QLatin1Char('=') + value).toUtf8();
            return;
        }
    }
    if (start >= 0)
        m_lines.insert(lastValueLine + 1, (key + QLatin1Char('=') + value).toUtf8());
}

QByteArray HandsetConfig::text() const
{
    QByteArray out;
    for (const QByteArray& line : m_lines)
        out += line + '\n';
    return out;
}

bool HandsetConfig::save(const QString& path, QString* error) const
{
    QSaveFile file(path);
    const QByteArray bytes = text();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
