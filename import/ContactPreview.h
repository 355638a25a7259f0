#pragma once

#include <QStringList>

class QTextStream;

// Looks at a contact file from the command line the way "Load Contacts From
// File" reads it, without a window and without touching the data folder:
//   --sheets FILE
//   --columns FILE [--sheet N]
//   --preview FILE [--sheet N] [--columns 1,3] [--skip-duplicates] [--exclusions] [--why]
// Returns the process status: 0 done, 1 the file was refused (the window's
// message went to `err`), 2 wrong usage (the usage text went to `err`).
namespace ContactPreview {

// True when the arguments ask for one of the commands above.
bool isPreviewCommand(const QStringList& arguments);
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);
QString usage();

} // namespace ContactPreview
