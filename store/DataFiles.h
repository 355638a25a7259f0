#pragma once

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The data folder "VEVA_SMS_DATA" (beside the program, or per user when the
// program is installed: Paths::dataFolder) and the byte format of its
// files: sent items, templates, and the exclusion lists.
namespace DataFiles {

inline constexpr char16_t kLineBreakMarker[] = u"|AP*|DX/";
inline constexpr QChar kBel = QChar(0x07);
inline constexpr QChar kVt = QChar(0x0B);

QString dataFolder();
QString sentItemsPath();
QString templatesPath();
QString inUseListPath();
QString exclusionFolder();
QString exclusionIndexPath();
// Empty for a name that breaks the list-name rules.
QString exclusionListPath(const QString& listName);

inline constexpr qsizetype kMaxListNameLength = 50;
// A list name gives a file name: 1 to 50 characters after trimming, none of
// \ / : * ? " < > | nor a control character, and not "ExListIndex".
bool IsValidListName(const QString& name);

// What EnsureDataFiles could not put in place; empty when everything is.
struct EnsureReport
{
    // Missing and not creatable, or present but not a readable and writable
    // file (or folder) of ours: a folder in a file's place, a FIFO, read-only.
    QStringList failures;
    bool noProgramFolder = false; // the program folder is unknown: no data folder at all
    bool ok() const { return failures.isEmpty() && !noProgramFolder; }
};

// Creates whatever is missing of the data folder and its files, in a fixed
// order; existing files are left exactly as they are.
EnsureReport EnsureDataFiles();

// --- Sent items ------------------------------------------------------------

struct SentItem
{
    QString number;
    QString message;
    QString date;
    bool operator==(const SentItem&) const = default;
};

// BEL, number, VT, message, BEL, date as dd/MM/yyyy.
QString SentItemRecord(const QString& number, const QString& message, const QDate& date);
// Every parsed record of one line of the sent-items file (both record forms,
// several records in a line; records without a number are dropped).
QList<SentItem> ParseSentItemLine(const QString& line);
// Appends a sent item dated today (local time), whole or not at all. Returns
// false when the file could not be opened or written; `error` then names the
// file and the reason.
bool AppendSentItem(const QString& number, const QString& message, const QDate& date = QDate::currentDate(),
                    QString* error = nullptr);
// Loads every sent item, each text as stored (a file without the mark in the
// ANSI code page); an unopenable file gives an empty list and, when asked,
// opened = false.
QList<SentItem> LoadSentItems(const QString& path = sentItemsPath(), bool* opened = nullptr);
// Replaces the file with one record per item; an empty list leaves only the mark.
QString RewriteSentItems(const QList<SentItem>& items, const QString& path = sentItemsPath());

// --- Templates -------------------------------------------------------------

// A template is 1 to 1,600 characters and not blank; the dialog and the send
// run keep to the same rule.
inline constexpr int kMaxTemplateLength = 1600;
bool IsStorableTemplate(const QString& text);

// Non-empty lines, each once, in file order (the dialog sorts them), read as LoadSentItems reads.
QStringList LoadTemplates(const QString& path = templatesPath(), bool* opened = nullptr);
bool TemplateExistsInFile(const QString& path, const QString& message);
bool AppendTemplate(const QString& message, const QString& path = templatesPath(), QString* error = nullptr);
// Appends the message unless it is already a line of the file or breaks the
// template rule. False with an error text when the file could not be written.
bool SaveTemplateIfNew(const QString& message, QString* error = nullptr);

// The templates of one file, read once at the first look, then kept current
// by the appends made through it: for a send run, which would otherwise read
// the whole file for every message.
class TemplateSet
{
public:
    explicit TemplateSet(const QString& path = templatesPath());
    bool contains(const QString& message);
    // SaveTemplateIfNew against the set.
    bool saveIfNew(const QString& message, QString* error = nullptr);

private:
    QString m_path;
    QSet<QString> m_texts;
    bool m_loaded = false;
};
QString RewriteTemplates(const QStringList& templates, const QString& path = templatesPath());

// --- Exclusion lists ------------------------------------------------------

// Every line of an exclusion file (index, in-use list, number file) in order;
// nothing when the file cannot be opened for reading and writing.
std::optional<QStringList> ReadExclusionFile(const QString& path);
bool AppendExclusionLines(const QString& path, const QStringList& lines);
QString RewriteExclusionFile(const QString& path, const QStringList& lines);

struct ExclusionNumbers
{
    bool inUseReadable = false; // false: "Error in file accessing."
    QStringList numbers;        // lists in use in file order, numbers in file order
};
// Reads the numbers of every exclusion list in use; a missing number file contributes nothing.
ExclusionNumbers LoadExclusionNumbers();
// The same without creating anything that is missing: for looking only.
ExclusionNumbers ReadExclusionNumbers();

// --- Line encoding shared by the readers and writers ----------------------

// Line feeds become the marker and CR LF is appended.
QString encodeMarkedLine(const QString& record);
QString decodeMarkedLine(const QString& line);

} // namespace DataFiles
