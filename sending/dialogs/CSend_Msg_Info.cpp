#include "CSend_Msg_Info.h"

#include "app/controls/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QPushButton* button(QDialog* dialog, const QString& id, const QString& caption)
{
    auto* b = new QPushButton(caption, dialog);
    b->setObjectName(id);
    b->setAccessibleName(caption);
    return b;
}

} // namespace

CSend_Msg_Info::CSend_Msg_Info(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("203"));
    setWindowTitle(QStringLiteral("Information"));
    Theme::applyDialogLook(this);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("174"));
    picture->setAccessibleName(QStringLiteral("Information"));
    picture->setPixmap(Theme::glyphIcon(Theme::Glyph::Information).pixmap(48, 48));
    const QString question =
        QStringLiteral("You have made the changes in the text in message composer.\n\nDo you want to "
                       "update the messages in list items?");
    auto* text = new QLabel(question, this);
    text->setObjectName(QStringLiteral("question"));
    text->setAccessibleName(question);
    text->setWordWrap(true);

    m_all = new QRadioButton(QStringLiteral("Apply message to all list items "), this);
    m_all->setObjectName(QStringLiteral("1164"));
    m_blank = new QRadioButton(QStringLiteral("Apply message only in blank list items"), this);
    m_blank->setObjectName(QStringLiteral("1165"));
    for (QRadioButton* r : {m_all, m_blank})
        r->setAccessibleName(r->text().trimmed());
    m_all->setChecked(true);

    auto* yes = button(this, QStringLiteral("1"), QStringLiteral("Yes"));
    auto* anyway = button(this, QStringLiteral("2"), QStringLiteral("Continue Anyway"));
    auto* cancel = button(this, QStringLiteral("1114"), QStringLiteral("Cancel"));
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(anyway, &QPushButton::clicked, this, [this] { done(ContinueAnyway); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(Cancelled); });

    auto* choices = new QVBoxLayout;
    choices->addWidget(text);
    choices->addSpacing(8);
    choices->addWidget(m_all);
    choices->addWidget(m_blank);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(10);
    top->addLayout(choices, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(anyway);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    resize(430, 200);
    yes->setFocus();
}

int CSend_Msg_Info::choice() const
{
    return m_blank->isChecked() ? 1 : 0;
}

void CSend_Msg_Info::setChoice(int choice)
{
    (choice == 1 ? m_blank : m_all)->setChecked(true);
}

void CSend_Msg_Info::reject()
{
    // The close box and Escape stop the send, as Cancel does.
    done(Cancelled);
}
