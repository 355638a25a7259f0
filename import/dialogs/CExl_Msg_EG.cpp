#include "CExl_Msg_EG.h"

#include "app/controls/Theme.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* paragraph(QWidget* parent, const QString& text, bool onWhite)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setAccessibleName(text);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (onWhite) {
        l->setAutoFillBackground(true);
        l->setStyleSheet(QStringLiteral("QLabel { background: white; border: 1px solid #b8c4d8; padding: 6px; }"));
    }
    return l;
}

} // namespace

QString CExl_Msg_EG::exampleTemplate()
{
    return QStringLiteral("Dear <COL-2> ,\nThis is to inform you that <COL-3> , studying in <COL-4> <COL-5> has <COL-8> "
                          "by obtaining <COL-7> marks out of <COL-6> in monthly tests.\nRegards\n\nXYZ School");
}

QString CExl_Msg_EG::filledExample()
{
    return QStringLiteral("Dear Mr. Rajesh Sharma ,\nThis is to inform you that Ankit Sharma , studying in VII C has "
                          "Passed by obtaining 564 marks out of 600 in monthly tests.\nRegards\n\nXYZ School");
}

CExl_Msg_EG::CExl_Msg_EG(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("201"));
    setWindowTitle(QStringLiteral("Example of personalized Dynamic Message"));
    Theme::applyDialogLook(this);

    auto* group = new QGroupBox(QStringLiteral("For Example"), this);
    group->setFont(Theme::headingFont());
    auto* inner = new QVBoxLayout(group);
    QLabel* intro = paragraph(
        group,
        QStringLiteral("Suppose a school keeps the list of its students in an Excel file. Column 1 must hold the "
                       "recipients' mobile numbers, here the parents' mobile numbers, and the other columns any data "
                       "about each student:\n"
                       "Column1: Parent's Mobile Number, Column2: Parent's Name, Column3: Student Name, Column4: "
                       "Class, Column5: Section, Column6: Total Marks, Column7: Marks Obtained, Column8: Passed or "
                       "Failed Status."),
        false);
    QLabel* composeCaption = paragraph(
        group,
        QStringLiteral("You can compose the SMS for informing all the parents about their child\u2019s result as "
                       "follows:"),
        false);
    QLabel* tmpl = paragraph(group, exampleTemplate(), true);
    QLabel* resultCaption = paragraph(
        group, QStringLiteral("And the message that will be sent to recipient mobile will be something like:"), false);
    QLabel* filled = paragraph(group, filledExample(), true);
    for (QLabel* l : {intro, composeCaption, tmpl, resultCaption, filled}) {
        l->setFont(Theme::dialogFont());
        inner->addWidget(l);
    }
    tmpl->setObjectName(QStringLiteral("template"));
    filled->setObjectName(QStringLiteral("filled"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    // Sized for its wrapped text (a window's own guess stops at two thirds of
    // the screen and cuts the last lines); wider where the screen is short.
    const int room = screen() ? screen()->availableGeometry().height() - 60 : 720;
    int width = 520;
    while (width < 760 && layout->totalHeightForWidth(width) > room)
        width += 40;
    setFixedSize(width, layout->totalHeightForWidth(width));
}
