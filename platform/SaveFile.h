#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's content without ever leaving a half-written file behind:
// the bytes go to a temporary file in the same folder, are flushed to disk, and
// the temporary file is renamed over the target. Returns an empty string on
// success, else a readable error; on failure the old content is untouched.
// The file keeps its permissions (0644 when new) unless `mode` gives others;
// the temporary file has them from the start.
QString saveFileAtomically(const QString& path, const QByteArray& content, int mode = -1);
