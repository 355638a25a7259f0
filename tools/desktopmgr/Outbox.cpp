#include "Outbox.h"

#include "HandsetConfig.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

bool splitMessagePacket(const QByteArray& packet, OutboxRecord* record)
{
    const qsizetype separator = packet.lastIndexOf('\xA7');
    if (separator < 0)
        return false;
    const QByteArray number = packet.mid(separator + 1);
    if (number.isEmpty() || number == "+")
        return false;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const char c = number.at(i);
        const bool allowed = (c >= '0' && c <= '9') || c == '-' || (c == '+' && i == 0);
        if (!allowed)
            return false;
    }
    record->number = QString::fromLatin1(number);
    record->text = TextCodec::fromAnsi(packet.left(separator));
    return true;
}

QString outboxPath(quint32 pin)
{
    return Paths::runtimeFolder() + QStringLiteral("/outbox-%1.jsonl").arg(pinText(pin));
}

bool appendToOutbox(const QString& path, const OutboxRecord& record, QString* error)
{
    QJsonObject object;
    object.insert(QStringLiteral("time"), record.time.toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("number"), record.number);
    object.insert(QStringLiteral("text"), record.text);
    if (!record.via.isEmpty()) {
        object.insert(QStringLiteral("via"), record.via);
        object.insert(QStringLiteral("part"), record.part);
        object.insert(QStringLiteral("parts"), record.parts);
        if (record.reference >= 0)
            object.insert(QStringLiteral("ref"), record.reference);
    }
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size() || !file.flush()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray readOutboxTail(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size <= maxBytes)
        return file.read(maxBytes);
    file.seek(size - maxBytes);
    QByteArray tail = file.read(maxBytes);
    const qsizetype firstBreak = tail.indexOf('\n');
    return firstBreak < 0 ? QByteArray() : tail.mid(firstBreak + 1);
}
