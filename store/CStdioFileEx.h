#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;

// The program's text file: UTF-16LE with a byte-order mark for the data files,
// single-byte text (in a given code page, CR LF read as LF) for files without
// the mark, such as imported contact lists.
//
// Only regular files (or links to them) open; a FIFO, a device or a folder
// fails like a file that cannot be read.
//
// Every open takes an exclusive advisory lock for as long as the file is open:
// a second open of the same file while one is in progress fails, so two
// accesses can never interleave inside a file.
class CStdioFileEx
{
public:
    enum class OpenMode
    {
        Read,              // existing file, read only
        ReadWriteExisting, // existing file, read and write, never created
        Append,            // created when missing, never truncated; writes go to the end
    };

    enum class Error
    {
        None,
        Missing,
        Locked,
        Other
    };

    // Longest line kept whole, in code units (bytes for single-byte files)
    // without its line end; a longer line counts as damaged and is dropped.
    static constexpr qsizetype kMaxLineUnits = qsizetype(4) * 1024 * 1024;

    CStdioFileEx();
    ~CStdioFileEx();
    CStdioFileEx(const CStdioFileEx&) = delete;
    CStdioFileEx& operator=(const CStdioFileEx&) = delete;

    bool open(const QString& path, OpenMode mode);
    void close();
    bool isOpen() const;
    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    // Reading: lines are narrowed to this code page ('#' for characters it
    // lacks) and, for a file without a byte-order mark, decoded from it.
    // Writing to a file that has text but no mark encodes into it.
    void setTargetCodePage(const QByteArray& codePage) { m_codePage = codePage; }
    // Off: lines of a file with the mark come back with every code unit as
    // stored, for files that are rewritten from what was read.
    void setNarrowsUnicode(bool on) { m_narrowUnicode = on; }
    bool isUnicode() const { return m_unicode; }

    // Reads the next line without its line end (a trailing CR LF pair, else a
    // single CR or LF). Returns false when nothing is left.
    bool ReadRecordLine(QString& line);

    // Writes text as UTF-16LE code units, preceded by the byte-order mark when
    // the file is empty; to a file of text without the mark, as single bytes
    // in the target code page. A UTF-16 file of odd length is first realigned:
    // its stray byte becomes a line of its own that reading drops. The record is written whole
    // or not at all: false (errorString() names the file and the reason) when
    // the write failed, with the file as it was.
    bool WriteRecordLine(const QString& text);

    // For files of whole records (each ending in its line end): a last record
    // cut short by a crash or a full disk gets its line end before the next.
    void setCompletesCutRecords(bool on) { m_completeCut = on; }

    // The UTF-16LE bytes WriteRecordLine would write at the given position.
    static QByteArray encodeUtf16(const QString& text, bool atStartOfFile);

private:
    bool fill();
    bool failWrite(int error);
    bool readUnicodeLine(QString& line);
    qsizetype unicodeTextUnits(qsizetype from, qsizetype end) const;
    bool readSingleByteLine(QString& line);

    std::unique_ptr<QFile> m_file;
    QString m_path;
    QByteArray m_codePage;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_unicode = false;
    bool m_narrowUnicode = true;
    bool m_completeCut = false;
    Error m_error = Error::None;
    QString m_errorString;
};
