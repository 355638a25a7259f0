#include "ModuleFile.h"

#include <QFile>
#include <QFileInfo>

namespace ModuleFile {

bool read(const QString& path, ModuleInfo* info, QString* error)
{
    const QFileInfo about(path);
    if (!about.exists() || !about.isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes) {
        *error = QStringLiteral("%1: too large for a handset module").arg(path);
        return false;
    }
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != "VEVA-COD/1") {
        *error = QStringLiteral("%1: not a handset module").arg(path);
        return false;
    }
    ModuleInfo found;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("Name"))
            found.name = value;
        else if (key == QLatin1String("Version"))
            found.version = value;
        else if (key == QLatin1String("Channel"))
            found.channel = value;
    }
    if (found.name.isEmpty()) {
        *error = QStringLiteral("%1: the module has no name").arg(path);
        return false;
    }
    *info = found;
    return true;
}

} // namespace ModuleFile
