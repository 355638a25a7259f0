#pragma once

#include "platform/com/Variant.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The emulated handsets of the device service, kept in an INI file whose
// sections list the handsets in the order the device collection shows them.
// Comment lines start with ';' or '#'; there are no comments after a value.
//
//   ; the section name is only a label
//   [office]
//   ; decimal or 0x-hex, 32 bits, not 0
//   PIN=0xABCD
//   Description=Ulmex 9700
//   ; true/false, yes/no or 1/0; the service writes these two back
//   Attached=true
//   ModuleInstalled=false
//   ; extra properties, listed in this order between Description and BBPIN:
//   ; a 32-bit integer becomes VT_I4, anything else (or quoted text) VT_BSTR
//   Property.bbpin=17
//   Property.Carrier="0800"
//   ; the handset's serial modem; ModemCom 0 or absent: none
//   ModemCom=7
//   ModemDescription=Ulmex USB Modem
//   ; normal, echo-only, silent or flood (digits without end after a command)
//   ModemMode=normal
//   ModemManufacturer=Ulmex
//   ModemModel=Veva 9700
//
// Keys are matched without regard to letter case; unknown keys are errors so
// a typing mistake does not pass unnoticed. Saving rewrites only the values
// that changed and keeps comments, order and spelling.
struct ExtraProperty
{
    QString name;
    Variant value;
};

struct HandsetSpec
{
    QString section;
    quint32 pin = 0;
    QString description;
    bool attached = true;
    bool moduleInstalled = false;
    QList<ExtraProperty> extraProperties;
    int modemCom = 0;
    QString modemDescription;
    QString modemMode = QStringLiteral("normal");
    QByteArray modemManufacturer;
    QByteArray modemModel;
};

// Decimal or 0x-hex, at most 32 bits, not 0.
bool parsePin(const QString& text, quint32* pin);
// The PIN as the program shows it: upper-case hex without leading zeros.
QString pinText(quint32 pin);

class HandsetConfig
{
public:
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // A missing file is an empty configuration; an unreadable, oversized or
    // invalid one is an error naming the line.
    bool load(const QString& path, QString* error);
    bool parse(const QByteArray& text, QString* error);

    const QList<HandsetSpec>& handsets() const { return m_handsets; }

    // Changes one handset's value in memory and in the text to be saved.
    void setAttached(int index, bool attached);
    void setModuleInstalled(int index, bool installed);

    QByteArray text() const;
    // Written through a temporary file that replaces the old one.
    bool save(const QString& path, QString* error) const;

private:
    void setValue(const QString& section, const QString& key, const QString& value);

    QList<QByteArray> m_lines;
    QList<HandsetSpec> m_handsets;
};
