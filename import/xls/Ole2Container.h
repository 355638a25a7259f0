#pragma once

#include <QByteArray>
#include <QString>

// The OLE2 (compound file) container around .xls workbooks, opened by libgsf.
namespace Ole2 {

enum class Content
{
    NotOle2,          // not a container, or one too damaged to list
    Workbook,         // a "Workbook" stream (BIFF8, or a later BIFF written under that name)
    Biff5Book,        // only a "Book" stream: Excel 5.0/95
    EncryptedPackage, // EncryptionInfo and EncryptedPackage: a password-protected .xlsx
    Other,            // a container without a workbook (a document of another program)
};

struct Streams
{
    Content content = Content::NotOle2;
    QByteArray workbook; // the "Workbook" stream when content is Workbook
    QString detail;
};

// Reads the container in `bytes`, which must stay alive during the call.
Streams read(const QByteArray& bytes);

} // namespace Ole2
