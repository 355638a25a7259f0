#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>

class QWidget;
class QAbstractButton;
class QLabel;

// The program's look: one background colour for every dialog, the Verdana
// fonts (with the system's sans-serif as fallback), and the artwork, which is
// drawn rather than loaded so it stays sharp at any scale.
namespace Theme {

QColor background(); // RGB(241,244,250)
QColor linkColor();  // blue
QColor alertColor(); // red

// Created once at start; safe to call before (they are then made on first use).
void createFonts();
QFont headingFont(); // bold, 13 px
QFont bodyFont();    // 14 px
QFont linkFont();    // bold, 13 px, underlined
QFont dialogFont();  // 8 pt

// Icon, background, font and palette of a dialog.
void applyDialogLook(QWidget* dialog);
QIcon appIcon();

enum class Glyph
{
    Contacts,
    Spreadsheet,
    Phone,
    Send,
    Reset,
    SentItems,
    About,
    Help,
    Exit,
    Mail,
    Facebook,
    Twitter,
    GooglePlus,
    Like,
    Information,
    Templates,
    Exclusion
};
QIcon glyphIcon(Glyph glyph);
QPixmap banner(const QSize& size);

// For a label whose text changes (counts, progress, the device): assistive
// technology reads the text itself as its name, and the role as description.
void speakText(QLabel* label, const QString& role);

// A button drawn with our images: raised in its normal state, sunk when pressed.
// The caption may mark an access key with '&'; the accessible name goes without it.
void makeBitmapButton(QAbstractButton* button, Glyph glyph, const QString& caption);

// A caption without its access-key marks ("&&" stays one '&').
QString withoutMnemonic(const QString& caption);

} // namespace Theme
