#include "SendStatus.h"

#include "NumberRules.h"

#include <QCryptographicHash>

QString rowStatusText(RowStatus status)
{
    switch (status) {
    case RowStatus::None:
        return {};
    case RowStatus::Sent:
        return QStringLiteral("Sent");
    case RowStatus::Excluded:
        return QStringLiteral("Excluded");
    case RowStatus::SkippedDuplicate:
        return QStringLiteral("Skipped (duplicate)");
    case RowStatus::Blank:
        return QStringLiteral("Blank");
    case RowStatus::Failed:
        return QStringLiteral("Failed");
    case RowStatus::NotSentStopped:
        return QStringLiteral("Not sent (stopped)");
    case RowStatus::Uncertain:
        return QStringLiteral("Uncertain");
    }
    return {};
}

QByteArray messageFingerprint(const QString& message)
{
    return QCryptographicHash::hash(message.toUtf8(), QCryptographicHash::Sha256).toHex();
}

QString sendKey(const QString& number, const QByteArray& fingerprint)
{
    return NumberIndex::key(number.trimmed()) + QLatin1Char('\t') + QLatin1String(fingerprint);
}
