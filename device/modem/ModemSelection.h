#pragma once

#include <QList>
#include <QString>

#include <optional>

// The GSM modems chosen in the connection wizard as the sending devices, for
// the rest of the program run. None while the device service's handset sends.
// With several, the first is the one a run through one modem uses.
struct SelectedModem
{
    int port = 0;
    QString manufacturer;
    QString model;

    // The main window's device line: "GSM modem on COM7 (manufacturer model)".
    QString deviceLine() const;
};

namespace ModemSelection {

void select(const SelectedModem& modem);
// Several modems, in the order chosen; an empty list selects none.
void selectAll(const QList<SelectedModem>& modems);
void clear();
// The first selected modem.
std::optional<SelectedModem> current();
QList<SelectedModem> all();
// The device line for the selection: one modem's own, or "GSM modems on COM7, COM8 and COM9".
QString deviceLine(const QList<SelectedModem>& modems);

// The choice kept for the next start, in modem.ini of the configuration folder,
// with the device node behind the port: it is offered again only while the
// port still leads there. The first modem is in [Modem], as it always was;
// further ones in [Modem2], [Modem3] and so on.
struct Remembered
{
    SelectedModem modem;
    QString devicePath;
};
QString rememberedFile();
bool remember(const SelectedModem& modem, const QString& devicePath);
bool rememberAll(const QList<Remembered>& modems);
// The first remembered modem.
std::optional<Remembered> remembered();
QList<Remembered> rememberedAll();
void forget();

} // namespace ModemSelection
