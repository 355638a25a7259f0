#pragma once

#include <QHash>
#include <QString>

#include <optional>

// The rules every path that puts a number into the recipient list follows:
// typing, the importers, the edit dialogs and the send run.

// More than 20 characters, or any character other than 0-9, '+' and '-'.
bool IsInvalidNumber(const QString& number);

// The steps of "Add" for a typed number: trim, a leading '+' becomes "00", any
// later '+' or an invalid number is rejected. Nothing means "Please enter a
// valid phone number.".
std::optional<QString> NormalizeTypedNumber(const QString& typed);

// A multiset of number texts compared whole and letter-case-blind; a lookup is
// one hash probe. The recipient list and the exclusion cache each keep one.
// Texts of up to 20 characters of 0-9, '+' and '-' (every valid number) are
// kept packed in two machine words, so they cost no allocation and compare in
// one step; anything else is kept as folded text.
class NumberIndex
{
public:
    void add(const QString& number);
    void remove(const QString& number);
    void clear();
    bool contains(const QString& number) const { return count(number) > 0; }
    int count(const QString& number) const;
    void reserve(qsizetype n) { m_packed.reserve(n); }

    // The text numbers are compared by: folded only when there is a letter.
    static QString key(const QString& number)
    {
        for (QChar c : number) {
            if (c.unicode() >= 0x80 || c.isLetter())
                return number.toCaseFolded();
        }
        return number;
    }

    struct Packed
    {
        quint64 low = 0, high = 0;
        bool operator==(const Packed&) const = default;
    };

private:
    static bool pack(const QString& number, Packed& packed);

    QHash<Packed, int> m_packed;
    QHash<QString, int> m_other;
};

size_t qHash(const NumberIndex::Packed& key, size_t seed = 0) noexcept;

// True when some entry equals the text (whole text, letter case ignored).
inline bool IsListedNumber(const NumberIndex& list, const QString& number)
{
    return list.contains(number);
}

struct ImportSwitches
{
    bool skipDuplicates = false; // "Skip Duplicate Numbers"
    bool useExclusion = false;   // "Use Exclusion Rules"
};

// The number to insert for an imported one, or an empty string when it must be
// dropped: '-' removed, trimmed, a leading '+' made "00", invalid numbers,
// later '+', duplicates and excluded numbers dropped (per the switches).
QString NormalizeImportedNumber(const QString& raw, const ImportSwitches& switches, const NumberIndex& recipients,
                                const NumberIndex& exclusions);

// The same steps, saying why a number is dropped.
enum class ImportOutcome { Added, Empty, Invalid, Duplicate, Excluded };
struct ImportVerdict
{
    ImportOutcome outcome = ImportOutcome::Empty;
    QString number; // the cleaned number when Added
};
ImportVerdict ClassifyImportedNumber(const QString& raw, const ImportSwitches& switches, const NumberIndex& recipients,
                                     const NumberIndex& exclusions);

// --- The composer's character counter --------------------------------------

inline constexpr int kSmsLength = 160;
inline constexpr int kUnicodeSmsLength = 70;

// Messages needed for n bytes: n / limit rounded up.
inline int SmsParts(int bytes, int limit = kSmsLength)
{
    return limit > 0 ? (bytes + limit - 1) / limit : 0;
}

struct CounterState
{
    int bytes = 0;             // ANSI bytes of the text
    QString text;              // what the counter label should read now
    bool showWarning = false;  // the long-message warning must be shown first
    QString textIfAccepted;    // the label after the warning ends with OK
};

QString PlainCounterText(int bytes);
QString SmsCounterText(int bytes, int limit);

// One change of a message edit: the new text and the counter label's current
// text (whose "SMS" form remembers that the warning was accepted).
CounterState UpdateCharacterCounter(const QString& message, const QString& currentCounterText, int limit = kSmsLength);
// The counter for a text shown in a dialog that opens with it: no warning.
QString CounterTextWithoutWarning(const QString& message, int limit = kSmsLength);
