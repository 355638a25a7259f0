#include "PortMap.h"

#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace PortMap {

bool publish(const PortEntry& entry, QString* error)
{
    const QString folder = Paths::portsFolder();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create %1").arg(folder);
        return false;
    }
    QSaveFile f(folder + QStringLiteral("/COM%1").arg(entry.number));
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    f.write(entry.devicePath.toUtf8() + '\n' + entry.description.toUtf8() + '\n');
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

void withdraw(int number)
{
    QFile::remove(Paths::portsFolder() + QStringLiteral("/COM%1").arg(number));
}

QList<PortEntry> entries()
{
    QList<PortEntry> out;
    const QDir dir(Paths::portsFolder());
    for (const QString& name : dir.entryList({QStringLiteral("COM*")}, QDir::Files)) {
        bool ok = false;
        const int number = name.mid(3).toInt(&ok);
        if (!ok || number <= 0 || name.mid(3) != QString::number(number))
            continue;
        QFile f(dir.filePath(name));
        if (f.size() > 4096 || !f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = f.readAll().split('\n');
        if (lines.isEmpty() || lines.at(0).isEmpty())
            continue;
        out.append({number, QString::fromUtf8(lines.at(0)), lines.size() > 1 ? QString::fromUtf8(lines.at(1)) : QString()});
    }
    std::sort(out.begin(), out.end(), [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return out;
}

} // namespace PortMap
