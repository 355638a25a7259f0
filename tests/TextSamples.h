#pragma once

#include <QList>
#include <QString>

// One text of each kind of character the channels and files treat apart.
struct TextSample
{
    const char* name;
    QString text;
};

inline QList<TextSample> textSamples()
{
    return {
        {"ASCII", QStringLiteral("Dear parent, school opens at 9")},
        {"Windows-1252 accents", QStringLiteral("Caf\u00e9 cr\u00e8me, 5 \u20ac \u2013 d\u00e9j\u00e0 vu")},
        {"Cyrillic", QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440")},
        {"CJK", QStringLiteral("\u5b66\u6821\u306f9\u6642\u306b\u59cb\u307e\u308a\u307e\u3059")},
        {"emoji outside the BMP", QStringLiteral("Smile \U0001F600 please")},
        {"lone surrogate", QStringLiteral("half ") + QChar(0xD83D) + QStringLiteral(" a pair")},
        {"line break", QStringLiteral("first line\r\nsecond line")},
    };
}
