#pragma once

#include <QByteArray>
#include <QList>

// A modem's answer to one AT command, read from what has arrived so far
// (3GPP TS 27.007 and 27.005 result codes, verbose form).
struct AtReply
{
    enum class Status
    {
        Incomplete, // no final result yet
        Prompt,     // "> ": the modem waits for the PDU
        Ok,
        Error,
        CmsError, // "+CMS ERROR: <n>"
        CmeError, // "+CME ERROR: <n>"
    };

    Status status = Status::Incomplete;
    int code = -1;           // the number of a +CMS or +CME error; -1 when it gave text instead
    QByteArray resultLine;   // the final line as received
    QList<QByteArray> lines; // complete lines before the result, echo and unsolicited codes included

    bool isFinal() const { return status != Status::Incomplete && status != Status::Prompt; }
    // The rest of the first line that starts with prefix, trimmed; empty when there is none.
    QByteArray value(const QByteArray& prefix) const;
};

// Lines end in CR or LF; blank lines are skipped. The answer is final at a
// line "OK", "ERROR", "+CMS ERROR: ..." or "+CME ERROR: ..."; with
// promptExpected, a line (finished or not) that starts with '>' is the prompt.
AtReply parseAtReply(const QByteArray& received, bool promptExpected = false);
