#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What an emulated handset sends. Each handset appends its SMS to its own
// outbox in the runtime folder, "outbox-<PIN in upper-case hex>.jsonl", one
// JSON object per line in the order sent:
//   {"time":"2024-05-01T09:30:00.125Z","number":"+4412345","text":"Hello"}
// time is UTC with milliseconds; text is the message decoded from the ANSI
// code page (it may itself contain '§').
struct OutboxRecord
{
    QDateTime time;
    QString number;
    QString text;
    // A part sent through the handset's serial modem also carries
    //   "via":"COM7","part":1,"parts":3,"ref":200
    // (ref only for a concatenated message).
    QString via;
    int part = 0;
    int parts = 0;
    int reference = -1;
};

// A message packet is the text, the byte 0xA7, then the number; only the last
// 0xA7 separates them. False when there is no separator or the number is not
// digits and '-' with an optional leading '+'.
bool splitMessagePacket(const QByteArray& packet, OutboxRecord* record);

QString outboxPath(quint32 pin);
bool appendToOutbox(const QString& path, const OutboxRecord& record, QString* error);
// The file's last whole lines within maxBytes; empty when there is no outbox.
QByteArray readOutboxTail(const QString& path, qint64 maxBytes);
