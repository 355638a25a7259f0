#pragma once

#include <QString>

#include <optional>

// The GSM modem chosen in the connection wizard as the sending device, for the
// rest of the program run. None while the device service's handset sends.
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
void clear();
std::optional<SelectedModem> current();

// The choice kept for the next start, in modem.ini of the configuration folder,
// with the device node behind the port: it is offered again only while the
// port still leads there.
struct Remembered
{
    SelectedModem modem;
    QString devicePath;
};
QString rememberedFile();
bool remember(const SelectedModem& modem, const QString& devicePath);
std::optional<Remembered> remembered();
void forget();

} // namespace ModemSelection
