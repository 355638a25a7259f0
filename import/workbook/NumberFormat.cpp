#include "NumberFormat.h"

#include <vector>

namespace Workbook {

namespace {

// One run of a date or time letter ("yyyy", "mm", "[h]"), in the order met.
struct DateToken
{
    char16_t letter; // lower case: y d m h s e, or 'a' for AM/PM
    bool elapsed;
};

char16_t lower(QChar c)
{
    return c.toLower().unicode();
}

bool startsWithNoCase(QStringView code, qsizetype at, QStringView word)
{
    return code.size() - at >= word.size() && code.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// "[h]", "[hh]", "[mm]", "[ss]": one repeated letter of h, m or s.
bool elapsedLetter(QStringView inner, char16_t& letter)
{
    if (inner.isEmpty())
        return false;
    letter = lower(inner.front());
    if (letter != u'h' && letter != u'm' && letter != u's')
        return false;
    for (QChar c : inner) {
        if (lower(c) != letter)
            return false;
    }
    return true;
}

} // namespace

FormatKind classifyFormatCode(QStringView code)
{
    std::vector<DateToken> tokens;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        switch (c.unicode()) {
        case u';':
            i = code.size(); // later sections do not decide
            continue;
        case u'"': {
            const qsizetype end = code.indexOf(u'"', i + 1);
            i = end < 0 ? code.size() : end;
            continue;
        }
        case u'\\': // an escaped literal
        case u'_':  // space as wide as the next character
        case u'*':  // the next character repeated to fill the cell
            ++i;
            continue;
        case u'[': {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0)
                return FormatKind::Number;
            char16_t letter;
            // Colours, conditions and locales ([Red], [<100], [$-409], [$€-407]) say nothing of dates.
            if (elapsedLetter(code.mid(i + 1, end - i - 1), letter))
                tokens.push_back({letter, true});
            i = end;
            continue;
        }
        default:
            break;
        }
        if (startsWithNoCase(code, i, u"General")) {
            i += 6;
            continue;
        }
        if (startsWithNoCase(code, i, u"AM/PM")) {
            tokens.push_back({u'a', false});
            i += 4;
            continue;
        }
        if (startsWithNoCase(code, i, u"A/P")) {
            tokens.push_back({u'a', false});
            i += 2;
            continue;
        }
        const char16_t l = lower(c);
        if (l == u'e' && i + 1 < code.size() && (code.at(i + 1) == u'+' || code.at(i + 1) == u'-')) {
            ++i; // an exponent: 0.00E+00
            continue;
        }
        switch (l) {
        case u'y':
        case u'd':
        case u'm':
        case u'h':
        case u's':
        case u'e': // era year
            if (tokens.empty() || tokens.back().letter != l || tokens.back().elapsed)
                tokens.push_back({l, false});
            break;
        default:
            break;
        }
    }

    bool date = false, time = false, elapsed = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const DateToken& t = tokens[i];
        elapsed = elapsed || t.elapsed;
        switch (t.letter) {
        case u'y':
        case u'd':
        case u'e':
            date = true;
            break;
        case u'h':
        case u's':
        case u'a':
            time = true;
            break;
        case u'm': {
            // Minutes right after hours or right before seconds; else the month.
            const bool minutes = t.elapsed || (i > 0 && tokens[i - 1].letter == u'h') ||
                                 (i + 1 < tokens.size() && tokens[i + 1].letter == u's');
            (minutes ? time : date) = true;
            break;
        }
        default:
            break;
        }
    }
    if (elapsed)
        return FormatKind::Elapsed;
    if (date && time)
        return FormatKind::DateTime;
    if (date)
        return FormatKind::Date;
    return time ? FormatKind::Time : FormatKind::Number;
}

FormatKind builtinFormatKind(int id)
{
    if (id >= 14 && id <= 17)
        return FormatKind::Date;
    if ((id >= 18 && id <= 21) || id == 45 || id == 47)
        return FormatKind::Time;
    if (id == 22)
        return FormatKind::DateTime;
    if (id == 46)
        return FormatKind::Elapsed;
    return FormatKind::Number;
}

FormatKind formatKind(int id, const QString* code)
{
    return code ? classifyFormatCode(*code) : builtinFormatKind(id);
}

} // namespace Workbook
