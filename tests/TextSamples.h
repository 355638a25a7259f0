#pragma once

#include <QList>
#include <QString>

// One text of each kind of character the channels and files treat apart.
struct TextSample
{
    const char* name;
    QString text;
    QString handset; // what the handset channel delivers in windows-1252
};

inline QList<TextSample> textSamples()
{
    const QString ascii = QStringLiteral("Dear parent, school opens at 9");
    const QString accents = QStringLiteral("Caf\u00e9 cr\u00e8me, 5 \u20ac \u2013 d\u00e9j\u00e0 vu");
    const QString lines = QStringLiteral("first line\r\nsecond line");
    return {
        {"ASCII", ascii, ascii},
        {"Windows-1252 accents", accents, accents},
        {"Cyrillic", QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"),
         QStringLiteral("??????, ???")},
        {"CJK", QStringLiteral("\u5b66\u6821\u306f9\u6642\u306b\u59cb\u307e\u308a\u307e\u3059"),
         QStringLiteral("???9???????")},
        {"emoji outside the BMP", QStringLiteral("Smile \U0001F600 please"), QStringLiteral("Smile ? please")},
        {"lone surrogate", QStringLiteral("half ") + QChar(0xD83D) + QStringLiteral(" a pair"),
         QStringLiteral("half ? a pair")},
        {"line break", lines, lines},
    };
}
