#include "WorkbookBackends.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <new>

namespace Workbook {

namespace {
// Spreadsheet programs cut a sheet name taken from a file name to this length.
constexpr qsizetype kMaxSheetName = 31;
} // namespace

OpenResult openFile(const QString& path)
{
    OpenResult result;
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        result.status = OpenStatus::Unreadable;
        result.systemError = QFileInfo::exists(path) ? EISDIR : ENOENT;
        result.detail = QStringLiteral("not a regular file");
        return result;
    }
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = OpenStatus::Unreadable;
        result.systemError = errno ? errno : EACCES;
        result.detail = file.errorString();
        return result;
    }
    const qint64 size = file.size();
    if (size > kMaxFileBytes) {
        result.detail = QStringLiteral("file larger than %1 bytes").arg(kMaxFileBytes);
        return result;
    }
    // Out of memory is a workbook that cannot be read, never the end of the program.
    try {
        // Buffers as large as the file is, not as large as a file may be: QFile::read(n)
        // allocates n bytes before it reads any.
        QByteArray bytes(qsizetype(size), Qt::Uninitialized);
        qint64 got = 0;
        while (got < size) {
            const qint64 n = file.read(bytes.data() + got, size - got);
            if (n <= 0)
                break;
            got += n;
        }
        // A file that grew since its size was taken is read on, to the limit; one that shrank is cut.
        char chunk[65536];
        for (qint64 n; got == bytes.size() && (n = file.read(chunk, sizeof chunk)) > 0;) {
            if (bytes.size() + n > kMaxFileBytes) {
                result.detail = QStringLiteral("file larger than %1 bytes").arg(kMaxFileBytes);
                return result;
            }
            bytes.append(chunk, qsizetype(n));
            got += n;
        }
        if (file.error() != QFileDevice::NoError) {
            result.status = OpenStatus::Unreadable;
            result.systemError = errno ? errno : EIO;
            result.detail = file.errorString();
            return result;
        }
        bytes.truncate(qsizetype(got));
        const QFileInfo info(path);
        if (info.suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 && !isContainer(bytes))
            return openCsvFile(bytes, info.completeBaseName().left(kMaxSheetName));
        return openBytes(bytes);
    } catch (const std::bad_alloc&) {
        result = OpenResult{};
        result.status = OpenStatus::Unreadable;
        result.systemError = ENOMEM;
        result.detail = QStringLiteral("not enough memory to read the file");
        return result;
    }
}

namespace {

const QByteArray kOle2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

bool isZip(const QByteArray& bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

// OpenDocument packages begin with an uncompressed entry "mimetype" holding the
// media type, so that the kind shows at a fixed place (offset 30, after the
// local header of the first entry).
bool isOpenDocument(const QByteArray& bytes)
{
    static const QByteArray kMimetype("mimetypeapplication/vnd.oasis.opendocument.spreadsheet");
    return bytes.startsWith("PK\x03\x04") && bytes.mid(30, kMimetype.size()) == kMimetype;
}

} // namespace

bool isContainer(const QByteArray& bytes)
{
    return bytes.startsWith(kOle2) || isZip(bytes);
}

OpenResult openBytes(const QByteArray& bytes)
{
    OpenResult result;
    if (bytes.startsWith(kOle2))
        return openOle2Workbook(bytes);
    if (isZip(bytes))
        return isOpenDocument(bytes) ? openOdsWorkbook(bytes) : openZipWorkbook(bytes);
    result.detail = QStringLiteral("neither an OLE2 container nor a zip package");
    return result;
}

} // namespace Workbook
