#include "WorkbookBackends.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace Workbook {

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
    if (file.size() > kMaxFileBytes) {
        result.detail = QStringLiteral("file larger than %1 bytes").arg(kMaxFileBytes);
        return result;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        result.detail = QStringLiteral("file larger than %1 bytes").arg(kMaxFileBytes);
        return result;
    }
    return openBytes(bytes);
}

OpenResult openBytes(const QByteArray& bytes)
{
    static const QByteArray ole2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    OpenResult result;
    if (bytes.startsWith(ole2))
        return openOle2Workbook(bytes);
    if (bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06"))
        return openZipWorkbook(bytes);
    result.detail = QStringLiteral("neither an OLE2 container nor a zip package");
    return result;
}

} // namespace Workbook
