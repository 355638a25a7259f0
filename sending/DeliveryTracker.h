#pragma once

#include "app/core/SendStatus.h"
#include "device/modem/PduCodec.h"

#include <QHash>
#include <QList>

#include <optional>

// Matches the network's status reports to the messages a modem sent. A report
// names the message reference of "+CMGS:" (0-255, so a long run uses each one
// again) and the recipient: among the parts sent under that reference to that
// recipient, the oldest still waiting for its outcome takes the report.
class DeliveryTracker
{
public:
    struct Update
    {
        int row = -1;
        QString number;
        QByteArray fingerprint;
        PartReport part;
        int reference = 0;
        Delivery delivery; // the whole message's state after this report
    };

    void submitted(int row, const QString& number, const QByteArray& fingerprint, int part, int total, int reference);
    std::optional<Update> reported(const Pdu::StatusReport& report);
    // Some part has neither been delivered nor failed yet.
    bool outstanding() const;
    // The state of the message last sent on the row; Sent while no report came.
    Delivery deliveryOf(int row) const;

    // The same recipient written two ways: "+44 7700 900001", "0044770090001", "07700900001".
    static bool sameRecipient(const QString& a, const QString& b);

private:
    struct Message
    {
        int row = -1;
        QString number;
        QByteArray fingerprint;
        int total = 1;
        QList<PartReport> reports; // the newest of each part
        QList<bool> settled;       // per part: delivered or failed
    };
    struct SentPart
    {
        int message = -1;
        int part = 1;
    };

    QList<Message> m_messages;
    QHash<QString, int> m_lastOnRow; // sendKey#row -> message
    QHash<int, int> m_rowMessage;    // row -> its last message
    QMultiHash<int, SentPart> m_byReference;
    int m_open = 0; // parts not settled
};
