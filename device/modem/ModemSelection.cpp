#include "ModemSelection.h"

#include <QMutex>

namespace {

QMutex selectionMutex;
std::optional<SelectedModem> selection;

} // namespace

QString SelectedModem::deviceLine() const
{
    const QString identity = QStringLiteral("%1 %2").arg(manufacturer, model).simplified();
    const QString line = QStringLiteral("GSM modem on COM%1").arg(port);
    return identity.isEmpty() ? line : QStringLiteral("%1 (%2)").arg(line, identity);
}

namespace ModemSelection {

void select(const SelectedModem& modem)
{
    QMutexLocker lock(&selectionMutex);
    selection = modem;
}

void clear()
{
    QMutexLocker lock(&selectionMutex);
    selection.reset();
}

std::optional<SelectedModem> current()
{
    QMutexLocker lock(&selectionMutex);
    return selection;
}

} // namespace ModemSelection
