#pragma once

#include <QString>

// Whether a file may be replaced now: false when it exists and cannot be
// opened for reading and writing, or another program holds it open for
// writing (a lock on the file, or the lock file an office suite keeps beside
// the documents it has open).
bool isFileFreeForWriting(const QString& path);
