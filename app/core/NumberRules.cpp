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

void NumberIndex::remove(const QString& number)
{
    auto it = m_counts.find(key(number));
    if (it == m_counts.end())
        return;
    if (--it.value() <= 0)
        m_counts.erase(it);
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
