#include "NumberRules.h"

#include "platform/TextCodec.h"

namespace {

constexpr int kMaxNumberLength = 20;

bool leadingPlusToZeros(QString& number)
{
    if (number.startsWith(QLatin1Char('+'))) {
        number.replace(0, 1, QStringLiteral("00"));
        return true;
    }
    return false;
}

bool hasPlus(const QString& number)
{
    return number.contains(QLatin1Char('+'));
}

} // namespace

bool IsInvalidNumber(const QString& number)
{
    if (number.size() > kMaxNumberLength)
        return true;
    for (QChar c : number) {
        if (!(c.unicode() >= '0' && c.unicode() <= '9') && c != QLatin1Char('+') && c != QLatin1Char('-'))
            return true;
    }
    return false;
}

std::optional<QString> NormalizeTypedNumber(const QString& typed)
{
    QString number = typed.trimmed();
    if (number.isEmpty())
        return std::nullopt;
    leadingPlusToZeros(number);
    if (hasPlus(number) || IsInvalidNumber(number))
        return std::nullopt;
    return number;
}

size_t qHash(const NumberIndex::Packed& key, size_t seed) noexcept
{
    return qHashMulti(seed, key.low, key.high);
}

bool NumberIndex::pack(const QString& number, Packed& packed)
{
    if (number.size() > 20)
        return false;
    // Four bits a character, the code 0xF past the end so "1" and "01" differ.
    quint64 words[2] = {~quint64(0), ~quint64(0)};
    for (qsizetype i = 0; i < number.size(); ++i) {
        const char16_t c = number.at(i).unicode();
        quint64 code;
        if (c >= u'0' && c <= u'9')
            code = c - u'0';
        else if (c == u'+')
            code = 0xA;
        else if (c == u'-')
            code = 0xB;
        else
            return false;
        quint64& word = words[i / 16];
        const int shift = int(i % 16) * 4;
        word = (word & ~(quint64(0xF) << shift)) | (code << shift);
    }
    packed.low = words[0];
    packed.high = words[1];
    return true;
}

void NumberIndex::add(const QString& number)
{
    Packed packed;
    if (pack(number, packed))
        ++m_packed[packed];
    else
        ++m_other[key(number)];
}

int NumberIndex::count(const QString& number) const
{
    Packed packed;
    if (pack(number, packed))
        return m_packed.value(packed);
    return m_other.value(key(number));
}

void NumberIndex::clear()
{
    m_packed.clear();
    m_other.clear();
}

void NumberIndex::remove(const QString& number)
{
    Packed packed;
    if (pack(number, packed)) {
        auto it = m_packed.find(packed);
        if (it != m_packed.end() && --it.value() <= 0)
            m_packed.erase(it);
        return;
    }
    auto it = m_other.find(key(number));
    if (it != m_other.end() && --it.value() <= 0)
        m_other.erase(it);
}

ImportVerdict ClassifyImportedNumber(const QString& raw, const ImportSwitches& switches, const NumberIndex& recipients,
                                     const NumberIndex& exclusions)
{
    QString number = raw;
    number.remove(QLatin1Char('-'));
    number = number.trimmed();
    if (number.isEmpty())
        return {ImportOutcome::Empty, {}};
    leadingPlusToZeros(number);
    if (IsInvalidNumber(number) || hasPlus(number))
        return {ImportOutcome::Invalid, {}};
    if (switches.skipDuplicates && IsListedNumber(recipients, number))
        return {ImportOutcome::Duplicate, {}};
    if (switches.useExclusion && IsListedNumber(exclusions, number))
        return {ImportOutcome::Excluded, {}};
    return {ImportOutcome::Added, number};
}

QString NormalizeImportedNumber(const QString& raw, const ImportSwitches& switches, const NumberIndex& recipients,
                                const NumberIndex& exclusions)
{
    return ClassifyImportedNumber(raw, switches, recipients, exclusions).number;
}

QString PlainCounterText(int bytes)
{
    return QStringLiteral("%1 Characters").arg(bytes);
}

QString SmsCounterText(int bytes, int limit)
{
    return QStringLiteral("%1 Characters (Each Message will now consume %2 SMS)").arg(bytes).arg(SmsParts(bytes, limit));
}

CounterState UpdateCharacterCounter(const QString& message, const QString& currentCounterText, int limit)
{
    CounterState state;
    state.bytes = TextCodec::ansiByteLength(message);
    if (state.bytes <= limit) {
        state.text = PlainCounterText(state.bytes);
    } else if (!currentCounterText.contains(QLatin1String("SMS"))) {
        state.text = PlainCounterText(state.bytes);
        state.showWarning = true;
        state.textIfAccepted = SmsCounterText(state.bytes, limit);
    } else {
        state.text = SmsCounterText(state.bytes, limit);
    }
    return state;
}

QString CounterTextWithoutWarning(const QString& message, int limit)
{
    const int bytes = TextCodec::ansiByteLength(message);
    return bytes <= limit ? PlainCounterText(bytes) : SmsCounterText(bytes, limit);
}
