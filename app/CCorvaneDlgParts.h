#pragma once

// What the main window's files share: the lists of the pause combos and the
// device status line's text. Internal to the main window.

#include <QString>
#include <QStringList>

namespace CorvaneDlgParts {

inline const QStringList kPauseEvery{
    QStringLiteral("1"),   QStringLiteral("2"),   QStringLiteral("3"),   QStringLiteral("4"),   QStringLiteral("5"),
    QStringLiteral("10"),  QStringLiteral("15"),  QStringLiteral("20"),  QStringLiteral("25"),  QStringLiteral("50"),
    QStringLiteral("75"),  QStringLiteral("100"), QStringLiteral("150"), QStringLiteral("200"), QStringLiteral("250"),
    QStringLiteral("300"), QStringLiteral("400"), QStringLiteral("500"), QStringLiteral("1000")};

inline const QStringList kPauseFor{
    QStringLiteral("5  Seconds"),  QStringLiteral("10 Seconds"),  QStringLiteral("15 Seconds"),
    QStringLiteral("20 Seconds"),  QStringLiteral("25 Seconds"),  QStringLiteral("30 Seconds"),
    QStringLiteral("35 Seconds"),  QStringLiteral("40 Seconds"),  QStringLiteral("45 Seconds"),
    QStringLiteral("50 Seconds"),  QStringLiteral("55 Seconds"),  QStringLiteral(" 1  Minute"),
    QStringLiteral(" 2  Minutes"), QStringLiteral(" 3  Minutes"), QStringLiteral(" 4  Minutes"),
    QStringLiteral(" 5  Minutes"), QStringLiteral(" 6  Minutes"), QStringLiteral(" 7  Minutes"),
    QStringLiteral(" 8  Minutes"), QStringLiteral(" 9  Minutes"), QStringLiteral("10 Minutes"),
    QStringLiteral("20 Minutes"),  QStringLiteral("30 Minutes"),  QStringLiteral("40 Minutes"),
    QStringLiteral("50 Minutes"),  QStringLiteral(" 1  Hour")};

inline const QString kStatusText = QStringLiteral("Mobile Device is not ready... For More Information, Click here");

} // namespace CorvaneDlgParts
