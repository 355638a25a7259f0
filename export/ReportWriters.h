#pragma once

#include "ExportTypes.h"

#include "store/DataFiles.h"

#include <QList>

class QIODevice;

// The sent-items reports. The rows are those of the range, in list order. The
// writers stream in pieces, so a large log never sits in memory as a whole
// report; they return false as soon as a write fails.

// Single-byte text in the narrow code page, CR LF line ends.
bool writeTextReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range);

// UTF-16LE with the byte-order mark. Numbers, dates and messages are escaped,
// so no text of the log can become markup.
bool writeHtmlReport(QIODevice& out, const QList<DataFiles::SentItem>& rows, const ExportDateRange& range);

// &, <, > and " as entities; then, for messages, line feeds as <br> and
// spaces as &nbsp;.
QString htmlEscaped(const QString& text);
QString htmlMessage(const QString& message);
