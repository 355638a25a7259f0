#include "DataFiles.h"

#include "CStdioFileEx.h"
#include "platform/Paths.h"
#include "platform/SaveFile.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace DataFiles {

namespace {

const QString kMarker = QString::fromUtf16(kLineBreakMarker);

bool isRecordSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
           c == kVt || c == QChar(0x0C);
}

QStringView trimRecordSpace(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isRecordSpace(s.at(b)))
        ++b;
    while (e > b && isRecordSpace(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

// A path inside a folder; nothing when the folder is unknown.
QString below(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

// An existing file (or folder) that our reads and writes can use: a regular
// file or a folder as asked, with the permissions we need.
bool usable(const QString& path, bool folder)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0 || (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)))
        return false;
    return ::access(native.constData(), folder ? (R_OK | W_OK | X_OK) : (R_OK | W_OK)) == 0;
}

bool createEmptyFile(const QString& path, bool withMark)
{
    CStdioFileEx f;
    if (!f.open(path, CStdioFileEx::OpenMode::Append))
        return false;
    return !withMark || f.WriteRecordLine(QString());
}

// A rewrite killed before its rename leaves its temporary file
// ".<name>.XXXXXX" beside the target. Called with the target's lock held, when
// no other rewrite of it can be under way, so every such file is stale.
void removeStaleTempFiles(const QString& path)
{
    const QFileInfo info(path);
    const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
    QDir folder = info.dir();
    const QStringList hidden = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : hidden) {
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix))
            folder.remove(name);
    }
}

// Holds the file's lock while a rewrite replaces it, so no append slips in
// between and no reader sees a half-written file.
QString rewriteLocked(const QString& path, const QByteArray& content)
{
    CStdioFileEx guard;
    if (QFileInfo::exists(path)) {
        if (!guard.open(path, CStdioFileEx::OpenMode::Read))
            return guard.errorString();
        removeStaleTempFiles(path);
    }
    return saveFileAtomically(path, content);
}

// Unicode lines narrowed to the ANSI code page, or (wholeText) kept as stored.
QStringList readAllLines(const QString& path, CStdioFileEx::OpenMode mode, bool wholeText, bool* opened)
{
    QStringList lines;
    CStdioFileEx f;
    *opened = f.open(path, mode);
    if (!*opened)
        return lines;
    f.setTargetCodePage(TextCodec::ansiCodePage());
    f.setNarrowsUnicode(!wholeText);
    QString line;
    while (f.ReadRecordLine(line))
        lines.append(line);
    return lines;
}

} // namespace

QString dataFolder()
{
    return Paths::dataFolder();
}
QString sentItemsPath()
{
    return below(dataFolder(), QStringLiteral("SentItem.ulmex"));
}
QString templatesPath()
{
    return below(dataFolder(), QStringLiteral("Templates.ulmex"));
}
QString inUseListPath()
{
    return below(dataFolder(), QStringLiteral("AppExclusion.ulmex"));
}
QString exclusionFolder()
{
    return below(dataFolder(), QStringLiteral("Exclusion"));
}
QString exclusionIndexPath()
{
    return below(exclusionFolder(), QStringLiteral("ExListIndex.ulmex"));
}
QString exclusionListPath(const QString& listName)
{
    if (!IsValidListName(listName))
        return QString();
    return below(exclusionFolder(), listName + QStringLiteral(".ulmex"));
}

bool IsValidListName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxListNameLength || trimmed == QLatin1String("ExListIndex"))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringView(u"\\/:*?\"<>|").contains(c))
            return false;
    }
    return true;
}

EnsureReport EnsureDataFiles()
{
    EnsureReport report;
    if (dataFolder().isEmpty()) {
        report.noProgramFolder = true;
        return report;
    }
    auto folder = [&](const QString& path) {
        if (QFileInfo::exists(path) ? !usable(path, true) : !QDir().mkdir(path))
            report.failures.append(path);
    };
    auto file = [&](const QString& path, bool withMark) {
        if (QFileInfo::exists(path) ? !usable(path, false) : !createEmptyFile(path, withMark))
            report.failures.append(path);
    };
    // An installed program's per-user folder may not exist yet.
    QDir().mkpath(QFileInfo(dataFolder()).path());
    folder(dataFolder());
    file(sentItemsPath(), true);
    file(templatesPath(), true);
    file(inUseListPath(), false);
    folder(exclusionFolder());
    file(exclusionIndexPath(), false);
    return report;
}

QString encodeMarkedLine(const QString& record)
{
    QString line = record;
    line.replace(QLatin1Char('\n'), kMarker);
    line.append(QLatin1String("\r\n"));
    return line;
}

QString decodeMarkedLine(const QString& line)
{
    QString out = line;
    out.replace(kMarker, QStringLiteral("\n"));
    return out;
}

QString SentItemRecord(const QString& number, const QString& message, const QDate& date)
{
    return kBel + number + kVt + message + kBel + date.toString(QStringLiteral("dd/MM/yyyy"));
}

QList<SentItem> ParseSentItemLine(const QString& line)
{
    QList<SentItem> items;
    const QString decoded = decodeMarkedLine(line);
    QStringView rest(decoded);
    while (!rest.isEmpty()) {
        const qsizetype vt = rest.indexOf(kVt);
        QStringView number = vt < 0 ? QStringView() : rest.left(vt);
        if (vt > 0)
            rest = rest.mid(vt);
        number = trimRecordSpace(number);
        if (number.startsWith(kBel))
            number = number.mid(1);

        const qsizetype bel = rest.indexOf(kBel);
        QStringView message = bel < 0 ? QStringView() : rest.left(bel);
        rest = bel < 0 ? rest : rest.mid(bel);
        if (message.startsWith(kVt))
            message = message.mid(1);

        rest = trimRecordSpace(rest);
        if (rest.startsWith(kBel))
            rest = rest.mid(1);

        QStringView date;
        const qsizetype next = rest.indexOf(kBel);
        if (next >= 0) {
            // In a line of several long-form records the optional trailing
            // field would otherwise end up inside the date.
            date = trimRecordSpace(rest.left(next));
            rest = rest.mid(next);
        } else {
            date = rest;
            rest = QStringView();
        }
        if (!number.isEmpty())
            items.append({number.toString(), message.toString(), date.toString()});
    }
    return items;
}

namespace {

bool appendRecordLine(const QString& path, const QString& line, QString* error)
{
    CStdioFileEx f;
    bool ok = f.open(path, CStdioFileEx::OpenMode::Append);
    if (ok) {
        f.setTargetCodePage(TextCodec::ansiCodePage()); // as the readers, for a file without the mark
        f.setCompletesCutRecords(true);
        ok = f.WriteRecordLine(line);
    }
    if (!ok && error)
        *error = f.errorString().isEmpty() ? path : f.errorString();
    return ok;
}

} // namespace

bool AppendSentItem(const QString& number, const QString& message, const QDate& date, QString* error)
{
    EnsureDataFiles();
    return appendRecordLine(sentItemsPath(), encodeMarkedLine(SentItemRecord(number, message, date)), error);
}

QList<SentItem> LoadSentItems(const QString& path, bool* opened)
{
    QList<SentItem> items;
    CStdioFileEx f;
    const bool ok = f.open(path, CStdioFileEx::OpenMode::Read);
    if (opened)
        *opened = ok;
    if (!ok)
        return items;
    // A file without the mark was written in the ANSI code page; one with it
    // is read whole, so that a rewrite gives back every character.
    f.setTargetCodePage(TextCodec::ansiCodePage());
    f.setNarrowsUnicode(false);
    QString line;
    while (f.ReadRecordLine(line))
        items.append(ParseSentItemLine(line));
    return items;
}

QString RewriteSentItems(const QList<SentItem>& items, const QString& path)
{
    QString text;
    for (const SentItem& item : items)
        text += encodeMarkedLine(kBel + item.number + kVt + item.message + kBel + item.date);
    return rewriteLocked(path, CStdioFileEx::encodeUtf16(text, true));
}

bool IsStorableTemplate(const QString& text)
{
    return text.size() <= kMaxTemplateLength && !text.trimmed().isEmpty();
}

QStringList LoadTemplates(const QString& path, bool* opened)
{
    bool ok = false;
    const QStringList lines = readAllLines(path, CStdioFileEx::OpenMode::Read, true, &ok);
    if (opened)
        *opened = ok;
    QStringList templates;
    QSet<QString> seen;
    for (const QString& raw : lines) {
        const QString text = decodeMarkedLine(raw);
        if (text.isEmpty() || seen.contains(text))
            continue;
        seen.insert(text);
        templates.append(text);
    }
    return templates;
}

bool TemplateExistsInFile(const QString& path, const QString& message)
{
    CStdioFileEx f;
    if (!f.open(path, CStdioFileEx::OpenMode::Read))
        return false;
    f.setTargetCodePage(TextCodec::ansiCodePage());
    f.setNarrowsUnicode(false);
    const QString wanted = decodeMarkedLine(message);
    QString line;
    while (f.ReadRecordLine(line)) {
        const QString text = decodeMarkedLine(line);
        if (!text.isEmpty() && text == wanted)
            return true;
    }
    return false;
}

bool AppendTemplate(const QString& message, const QString& path, QString* error)
{
    return appendRecordLine(path, encodeMarkedLine(message), error);
}

bool SaveTemplateIfNew(const QString& message, QString* error)
{
    if (!IsStorableTemplate(message))
        return false;
    EnsureDataFiles();
    if (TemplateExistsInFile(templatesPath(), message))
        return true;
    return AppendTemplate(message, templatesPath(), error);
}

TemplateSet::TemplateSet(const QString& path) : m_path(path) {}

bool TemplateSet::contains(const QString& message)
{
    if (!m_loaded) {
        m_loaded = true;
        EnsureDataFiles();
        const QStringList texts = LoadTemplates(m_path);
        m_texts = QSet<QString>(texts.cbegin(), texts.cend());
    }
    // What the file gives back for the message: its line feeds were stored as the marker.
    return m_texts.contains(decodeMarkedLine(message));
}

bool TemplateSet::saveIfNew(const QString& message, QString* error)
{
    if (!IsStorableTemplate(message))
        return false;
    if (contains(message))
        return true;
    if (!AppendTemplate(message, m_path, error))
        return false;
    m_texts.insert(decodeMarkedLine(message));
    return true;
}

QString RewriteTemplates(const QStringList& templates, const QString& path)
{
    QString text;
    for (const QString& t : templates)
        text += encodeMarkedLine(t);
    return rewriteLocked(path, CStdioFileEx::encodeUtf16(text, true));
}

std::optional<QStringList> ReadExclusionFile(const QString& path)
{
    bool opened = false;
    QStringList lines = readAllLines(path, CStdioFileEx::OpenMode::ReadWriteExisting, false, &opened);
    if (!opened)
        return std::nullopt;
    return lines;
}

bool AppendExclusionLines(const QString& path, const QStringList& lines)
{
    CStdioFileEx f;
    if (!f.open(path, CStdioFileEx::OpenMode::Append))
        return false;
    bool ok = true;
    for (const QString& line : lines)
        ok = f.WriteRecordLine(line) && f.WriteRecordLine(QStringLiteral("\n")) && ok;
    return ok;
}

QString RewriteExclusionFile(const QString& path, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    // A rewrite with no rows leaves an empty file, as a truncation would.
    return rewriteLocked(path, lines.isEmpty() ? QByteArray() : CStdioFileEx::encodeUtf16(text, true));
}

ExclusionNumbers LoadExclusionNumbers()
{
    EnsureDataFiles();
    return ReadExclusionNumbers();
}

ExclusionNumbers ReadExclusionNumbers()
{
    ExclusionNumbers result;
    const auto names = ReadExclusionFile(inUseListPath());
    if (!names)
        return result;
    result.inUseReadable = true;
    for (const QString& name : *names) {
        // The file is not ours to trust: a name could lead out of the data folder.
        if (!IsValidListName(name))
            continue;
        if (const auto numbers = ReadExclusionFile(exclusionListPath(name)))
            result.numbers.append(*numbers);
    }
    return result;
}

} // namespace DataFiles
