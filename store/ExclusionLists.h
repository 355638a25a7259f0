#pragma once

#include "app/core/NumberRules.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The rules of the exclusion lists that do not need a window: list names,
// numbers, and turning a file's contents into numbers for a list.
namespace ExclusionLists {

inline constexpr int kMaxNameLength = 50;
inline constexpr int kMaxNumberLength = 20;

enum class NameProblem
{
    None,
    Empty,    // "Please enter exclusion list name."
    Invalid,  // "Please enter a valid name."
    Reserved, // "Please enter the another name."
    Exists,   // "Entered exclusion list name already exists."
};

// A new list's name, already trimmed, against the names of the lists there are.
NameProblem CheckNewListName(const QString& name, const QStringList& existingNames);
// Whether a name read from the index or the in-use file can name a number file.
bool IsUsableListName(const QString& name);

// "Update Exclusion Number": a leading '+' becomes "00"; nothing when the text
// is not a valid number ("Please enter a valid phone number.").
std::optional<QString> NormalizeUpdatedNumber(const QString& typed);

// Takes candidates one at a time and keeps those that make valid numbers not
// yet in the list (letter case ignored), in the order offered.
class CandidateFilter
{
public:
    explicit CandidateFilter(const QStringList& numbersInList);
    void offer(const QString& candidate);
    const QStringList& accepted() const { return m_accepted; }

private:
    NumberIndex m_index;
    QStringList m_accepted;
};

enum class TextFileStatus
{
    Ok,
    NotAnsi,    // starts like a Unicode file: "Please select the ANSI encoded text file."
    Empty,      // "File is empty."
    Unreadable, // cannot be opened or read
};

using CandidateSink = std::function<void(const QString& candidate)>;

// The candidates of a single-byte text file (system code page), by the token
// rules of the contact import: a comma, a line feed or a carriage return ends
// one, spaces are dropped, empty ones and over-long ones are skipped.
TextFileStatus ReadTextCandidatesFromFile(const QString& path, const CandidateSink& sink);

} // namespace ExclusionLists
