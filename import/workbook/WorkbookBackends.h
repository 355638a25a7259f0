#pragma once

#include "Workbook.h"

#include <QByteArray>

// The file readers behind Workbook::openFile. Each takes the whole file and
// never trusts a size or count written inside it more than the bytes present.
// A build without a reader links its stand-in, which answers NoBackend.
namespace Workbook {

// The largest file openFile reads at all.
inline constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// Sniffs the content and hands it to the matching reader.
OpenResult openBytes(const QByteArray& bytes);
// Whether the bytes start as one of the containers openBytes knows.
bool isContainer(const QByteArray& bytes);

// .xlsx (Office Open XML package). Its own reader in import/xlsx.
OpenResult openZipWorkbook(const QByteArray& bytes);
// .ods (OpenDocument spreadsheet, a zip package whose first entry names its
// type). import/ods, on the .xlsx reader's package layer.
OpenResult openOdsWorkbook(const QByteArray& bytes);
// .xls (BIFF8 in an OLE2 container), and password-protected .xlsx, which is an
// OLE2 container holding EncryptionInfo and EncryptedPackage. import/xls.
OpenResult openOle2Workbook(const QByteArray& bytes);
// .csv: text, so told by the file's extension when the content is no container. import/csv.
OpenResult openCsvFile(const QByteArray& bytes, const QString& sheetName);

} // namespace Workbook
