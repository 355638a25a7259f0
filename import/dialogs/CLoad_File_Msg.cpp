#include "CLoad_File_Msg.h"

#include "app/controls/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CLoad_File_Msg::CLoad_File_Msg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("192"));
    setWindowTitle(QStringLiteral("Information"));
    Theme::applyDialogLook(this);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("174"));
    picture->setAccessibleName(QStringLiteral("Information"));
    picture->setPixmap(Theme::glyphIcon(Theme::Glyph::Information).pixmap(48, 48));
    const QString question = QStringLiteral(
        "The recipient number list already contains some data.\n\n"
        "Press \u2018Yes\u2019 to continue with clearing the existing fields and replace with new data or press "
        "\u2018No\u2019 to append the new data in the existing list.\n\n"
        "Do you want to clear the existing data in the list?");
    auto* text = new QLabel(question, this);
    text->setObjectName(QStringLiteral("question"));
    text->setAccessibleName(question);
    text->setWordWrap(true);

    auto* yes = new QPushButton(QStringLiteral("&Yes"), this);
    yes->setObjectName(QStringLiteral("1"));
    yes->setAccessibleName(QStringLiteral("Yes"));
    auto* no = new QPushButton(QStringLiteral("&No"), this);
    no->setObjectName(QStringLiteral("2"));
    no->setAccessibleName(QStringLiteral("No"));
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("1114"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    // Yes empties the list: Enter keeps it and appends.
    no->setDefault(true);
    connect(yes, &QPushButton::clicked, this, [this] { done(ClearList); });
    connect(no, &QPushButton::clicked, this, [this] { done(Append); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(Cancelled); });

    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(10);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    resize(520, 190);
    no->setFocus();
}

CLoad_File_Msg::Answer CLoad_File_Msg::ask(QWidget* parent, int rowCount)
{
    if (rowCount <= 0)
        return Append;
    CLoad_File_Msg dialog(parent);
    return Answer(dialog.exec());
}

void CLoad_File_Msg::reject()
{
    // Escape and the close box cancel the import.
    done(Cancelled);
}
