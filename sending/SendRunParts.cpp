#include "SendRunParts.h"

#include "device/link/MessagePacket.h"
#include "device/link/USBClient.h"
#include "platform/TextCodec.h"

#include <QFileInfo>
#include <QSet>

namespace SendRunParts {

void PartTracker::partAccepted(int part, int total, int reference)
{
    parts = {part, total, reference};
    if (total > 1 && !m_journal.part(m_row, m_number, m_fingerprint, parts, m_lane))
        journalFailed = true;
}

QString writeMessage(IChannel* channel, const QString& message, const QString& number, const SendJournal::Parts& from,
                     PartTracker& tracker)
{
    ComPtr<ITextMessageChannel> text;
    if (channel && SUCCEEDED(channel->QueryInterface(IID_ITextMessageChannel, text.putVoid())) && text) {
        const bool resume = from.isPartial();
        checkHr(
            text->WriteTextMessage(message, number, resume ? from.accepted : 0, resume ? from.reference : -1, &tracker),
            IID_ITextMessageChannel);
        return message;
    }
    USBClient::WritePacket(Packets::MessagePacket(message, number), channel);
    return TextCodec::throughAnsi(message);
}

SendJournal::Parts EarlierRuns::resumeFrom(const RecipientRow& row, const QString& number,
                                           const QByteArray& fingerprint) const
{
    return row.sendAgain ? SendJournal::Parts{} : partial.value(sendKey(number, fingerprint), SendJournal::Parts{});
}

bool beginJournal(SendJournal& journal, int rows, const EarlierRuns& earlier, SendRunHost& host)
{
    if (journal.begin(rows, earlier.carry))
        return true;
    // With no data folder nothing can be kept, as for the other record files.
    if (!SendJournal::defaultPath().isEmpty() && !host.askToGoOn(JournalUnwritableQuestion(journal.lastError()))) {
        host.hideDeviceInitDialog();
        host.closeProgressDialog();
        host.setMainWindowEnabled(true);
        return false;
    }
    qWarning("Sending without a journal: %s", qPrintable(journal.lastError()));
    return true;
}

EarlierRuns earlierRuns(const QList<RecipientRow>& rows, const QString& journalPath)
{
    EarlierRuns out;
    QHash<QString, RowStatus> kept;    // rows of this list an earlier run took care of
    QSet<QString> again;               // rows the user sends again whatever was known
    QHash<QString, QByteArray> prints; // one fingerprint per message text
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < rows.size(); ++i) {
        const RecipientRow& r = rows.at(i);
        if (!isSentOrUncertain(r.keep) && !r.sendAgain)
            continue;
        auto print = prints.constFind(r.message);
        if (print == prints.cend())
            print = prints.insert(r.message, messageFingerprint(r.message));
        const QString number = r.number.trimmed();
        const QString key = sendKey(number, print.value());
        if (r.sendAgain) {
            again.insert(key);
        } else {
            kept.insert(key, r.keep);
            out.carry.append({{i, number, print.value(), now, {}}, r.keep, SendJournal::Origin::Kept});
        }
    }
    const std::optional<SendJournal::Contents> earlier = SendJournal::read(journalPath);
    if (!earlier)
        return out;
    const QList<SendJournal::Outcome> unresolved = earlier->unresolved();
    QSet<QString> sent;
    for (const SendJournal::Outcome& o : unresolved)
        if (o.status == RowStatus::Sent)
            sent.insert(sendKey(o.entry.number, o.entry.fingerprint));
    for (SendJournal::Outcome o : unresolved) {
        const QString key = sendKey(o.entry.number, o.entry.fingerprint);
        if (again.contains(key) || kept.contains(key))
            continue;
        if (o.status == RowStatus::Failed) {
            if (sent.contains(key) || !o.entry.parts.isPartial())
                continue;
            out.partial.insert(key, o.entry.parts);
        }
        o.origin = SendJournal::Origin::Carried;
        out.carry.append(o);
    }
    return out;
}

bool RunRecords::journalLost(SendRunHost& host, const SendJournal& journal)
{
    if (m_journalAsked)
        return true;
    m_journalAsked = true;
    return host.askToGoOn(JournalUnwritableQuestion(journal.lastError()));
}

bool RunRecords::recordLost(SendRunHost& host, const QString& path, const QString& error)
{
    if (m_recordsAsked)
        return true;
    m_recordsAsked = true;
    QString reason = error;
    if (reason.startsWith(path + QStringLiteral(": ")))
        reason = reason.mid(path.size() + 2);
    return host.askToGoOn(RecordUnwritableQuestion(QFileInfo(path).fileName(), reason));
}

bool RunRecords::save(SendRunHost& host, const SendOptions& options, const QString& number, const QString& sentText)
{
    QString error;
    if (options.saveTemplates && !sentText.trimmed().isEmpty() && !m_templates.saveIfNew(sentText, &error) &&
        !error.isEmpty() && !recordLost(host, DataFiles::templatesPath(), error))
        return false;
    error.clear();
    if (options.saveSentItems && !DataFiles::AppendSentItem(number, sentText, QDate::currentDate(), &error) &&
        !recordLost(host, DataFiles::sentItemsPath(), error))
        return false;
    return true;
}

} // namespace SendRunParts
