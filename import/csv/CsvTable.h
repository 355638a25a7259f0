#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

// Comma-separated files as spreadsheet programs save them (RFC 4180): fields
// in double quotes may hold separators, quotes ("" for one) and line breaks;
// records end with CR LF, LF or CR.
namespace Csv {

// The file's text: UTF-8 after a byte order mark, or without one when the
// bytes are valid UTF-8; else the ANSI code page.
QString decode(const QByteArray& bytes);

// ';' when every one of the first lines holds the same number of semicolons
// outside quotes (files saved where the comma is the decimal point), else ','.
QChar detectSeparator(QStringView text);

// Calls `field` for every field that is not empty, with its 0-based record
// and field number; stops and returns false when `field` does.
bool parse(QStringView text, QChar separator,
           const std::function<bool(quint32 record, quint32 index, QString&& value)>& field);

} // namespace Csv
