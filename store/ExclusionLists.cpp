#include "ExclusionLists.h"

#include "platform/TextCodec.h"

#include <QFile>

namespace ExclusionLists {

namespace {

const QString kForbidden = QStringLiteral("\\/:*?\"<>|");
const QString kReserved = QStringLiteral("ExListIndex");

bool isValidNameText(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    for (QChar c : name) {
        // Control characters cannot stand in a file name, and a line break would split the index line.
        if (kForbidden.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    // A character the code page lacks would come back from the index as '#',
    // naming another file than the one holding the numbers.
    return TextCodec::narrowToAnsi(name) == name;
}

// A name differing only in letter case names the index itself where file names ignore case.
bool isReservedName(const QString& name)
{
    return name.compare(kReserved, Qt::CaseInsensitive) == 0;
}

} // namespace

NameProblem CheckNewListName(const QString& name, const QStringList& existingNames)
{
    if (name.isEmpty())
        return NameProblem::Empty;
    if (!isValidNameText(name))
        return NameProblem::Invalid;
    if (isReservedName(name))
        return NameProblem::Reserved;
    for (const QString& existing : existingNames) {
        if (existing.compare(name, Qt::CaseInsensitive) == 0)
            return NameProblem::Exists;
    }
    return NameProblem::None;
}

bool IsUsableListName(const QString& name)
{
    return name == name.trimmed() && isValidNameText(name) && !isReservedName(name);
}

std::optional<QString> NormalizeUpdatedNumber(const QString& typed)
{
    QString number = typed;
    if (number.startsWith(QLatin1Char('+')))
        number.replace(0, 1, QStringLiteral("00"));
    if (number.contains(QLatin1Char('+')) || number.trimmed().isEmpty() || IsInvalidNumber(number))
        return std::nullopt;
    return number;
}

CandidateFilter::CandidateFilter(const QStringList& numbersInList)
{
    m_index.reserve(numbersInList.size());
    for (const QString& n : numbersInList)
        m_index.add(n);
}

void CandidateFilter::offer(const QString& candidate)
{
    static const NumberIndex noExclusions;
    const QString number = NormalizeImportedNumber(candidate, ImportSwitches{true, false}, m_index, noExclusions);
    if (number.isEmpty())
        return;
    m_index.add(number);
    m_accepted.append(number);
}

TextFileStatus ReadTextCandidates(QIODevice* file, const CandidateSink& sink)
{
    char first = 0;
    if (file->peek(&first, 1) == 1) {
        const uchar b = uchar(first);
        if (b == 0xEF || b == 0xFE || b == 0xFF)
            return TextFileStatus::NotAnsi;
    } else {
        return TextFileStatus::Empty;
    }

    const QByteArray codePage = TextCodec::ansiCodePage();
    QByteArray token;
    bool overlong = false;
    auto endToken = [&] {
        if (!overlong && !token.isEmpty()) {
            bool ascii = true;
            for (const char c : std::as_const(token))
                ascii = ascii && uchar(c) < 0x80;
            sink(ascii ? QString::fromLatin1(token) : TextCodec::decode(token, codePage));
        }
        token.clear();
        overlong = false;
    };
    QByteArray chunk;
    for (;;) {
        chunk = file->read(64 * 1024);
        if (chunk.isEmpty())
            break;
        for (const char c : std::as_const(chunk)) {
            switch (c) {
            case ',':
            case '\n':
            case '\r':
                endToken();
                break;
            case ' ':
                break;
            default:
                if (overlong)
                    break;
                if (token.size() >= kMaxTokenBytes) {
                    overlong = true;
                    token.clear();
                    break;
                }
                token.append(c);
            }
        }
    }
    endToken();
    return TextFileStatus::Ok;
}

TextFileStatus ReadTextCandidatesFromFile(const QString& path, const CandidateSink& sink)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TextFileStatus::Unreadable;
    return ReadTextCandidates(&file, sink);
}

} // namespace ExclusionLists
