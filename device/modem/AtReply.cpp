#include "AtReply.h"

namespace {

int errorCode(const QByteArray& rest)
{
    bool ok = false;
    const int code = rest.trimmed().toInt(&ok);
    return ok ? code : -1;
}

} // namespace

QByteArray AtReply::value(const QByteArray& prefix) const
{
    for (const QByteArray& line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    }
    return {};
}

AtReply parseAtReply(const QByteArray& received, bool promptExpected)
{
    static const QByteArray cms = "+CMS ERROR:";
    static const QByteArray cme = "+CME ERROR:";
    AtReply reply;
    qsizetype start = 0;
    while (start < received.size()) {
        qsizetype end = start;
        while (end < received.size() && received.at(end) != '\r' && received.at(end) != '\n')
            ++end;
        const bool complete = end < received.size();
        const QByteArray line = received.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty())
            continue;
        if (promptExpected && line.startsWith('>')) {
            reply.status = AtReply::Status::Prompt;
            reply.resultLine = line;
            return reply;
        }
        if (!complete)
            break;
        if (line == "OK") {
            reply.status = AtReply::Status::Ok;
        } else if (line == "ERROR") {
            reply.status = AtReply::Status::Error;
        } else if (line.startsWith(cms)) {
            reply.status = AtReply::Status::CmsError;
            reply.code = errorCode(line.mid(cms.size()));
        } else if (line.startsWith(cme)) {
            reply.status = AtReply::Status::CmeError;
            reply.code = errorCode(line.mid(cme.size()));
        }
        if (reply.isFinal()) {
            reply.resultLine = line;
            return reply;
        }
        reply.lines.append(line);
    }
    return reply;
}
