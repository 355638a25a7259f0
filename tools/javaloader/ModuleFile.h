#pragma once

#include <QString>

// A handset module file (.cod) as this system makes them: UTF-8 text whose
// first line is exactly "VEVA-COD/1", followed by "Key: value" lines, of which
// "Name" is required; "Version", "Vendor", "Channel" and "Description" are
// informative. At most 64 KiB.
struct ModuleInfo
{
    QString name;
    QString version;
    QString channel;
};

namespace ModuleFile {

inline constexpr qint64 kMaxBytes = 64 * 1024;

// False with a one-line reason when the file is missing, unreadable, too
// large or not a module.
bool read(const QString& path, ModuleInfo* info, QString* error);

} // namespace ModuleFile
