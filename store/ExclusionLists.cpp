#include "ExclusionLists.h"

#include "import/ContactImport.h"
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

TextFileStatus ReadTextCandidatesFromFile(const QString& path, const CandidateSink& sink)
{
    switch (ContactImport::checkTextFile(path)) {
    case ContactImport::TextCheck::NotAnsi:
        return TextFileStatus::NotAnsi;
    case ContactImport::TextCheck::Empty:
        return TextFileStatus::Empty;
    case ContactImport::TextCheck::Unreadable:
        return TextFileStatus::Unreadable;
    case ContactImport::TextCheck::Ok:
        break;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TextFileStatus::Unreadable;
    const bool read = ContactImport::ReadTextTokens(file, [&sink](int, const QString& token, bool tooLong) {
        if (!tooLong)
            sink(token);
        return true;
    });
    return read ? TextFileStatus::Ok : TextFileStatus::Unreadable;
}

} // namespace ExclusionLists
