#pragma once

#include <QByteArray>
#include <QString>

// The one place where text changes between UTF-16 and the narrow code pages the
// program's files and the handset channel use. Nothing else converts by hand.
//
// The "ANSI code page" is a setting (the system code page of the original
// platform); it defaults to windows-1252 and may be overridden with the
// environment variable VEVA_SMS_ANSI_CODEPAGE or setAnsiCodePage().
namespace TextCodec {

QByteArray ansiCodePage();
// Returns false (and keeps the old setting) when the code page is unknown.
bool setAnsiCodePage(const QByteArray& name);

// UTF-16 to the ANSI code page; characters without an equivalent become '?'.
QByteArray toAnsi(const QString& text);
// The ANSI code page to UTF-16.
QString fromAnsi(const QByteArray& bytes);
// Byte length of the ANSI form of the text (what the SMS counter counts).
int ansiByteLength(const QString& text);
// The text as it comes back from the ANSI code page: what the handset
// channel delivers, with '?' for every character the page lacks.
QString throughAnsi(const QString& text);
// Whether the ANSI code page holds every character of the text.
bool fitsAnsi(const QString& text);

// Decodes single-byte or ANSI bytes read from a file in the given code page.
QString decode(const QByteArray& bytes, const QByteArray& codePage);
// Encodes text for a file in the given code page; characters it lacks become '?'.
QByteArray encode(const QString& text, const QByteArray& codePage);

// Narrows text to the given code page and widens it again: every character
// (or surrogate pair) with no equivalent there becomes '#'. Unpaired
// surrogates count as characters without an equivalent.
QString narrowWithHash(const QString& text, const QByteArray& codePage);

// Shorthands for the two targets the record files use.
inline QByteArray windows1252() { return QByteArrayLiteral("windows-1252"); }
inline QString narrowTo1252(const QString& text) { return narrowWithHash(text, windows1252()); }
inline QString narrowToAnsi(const QString& text) { return narrowWithHash(text, ansiCodePage()); }

} // namespace TextCodec
