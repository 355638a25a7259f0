#include "COpen_Export_Log.h"

#include "app/controls/Theme.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

COpen_Export_Log::COpen_Export_Log(QWidget* parent, const QString& text) : QDialog(parent)
{
    setObjectName(QStringLiteral("191"));
    setWindowTitle(QStringLiteral("Message"));
    Theme::applyDialogLook(this);

    const QString shown = text.isEmpty() ? QStringLiteral("File has been exported successfully.") : text;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    auto* label = new QLabel(shown, this);
    label->setObjectName(QStringLiteral("1132"));
    label->setAccessibleName(shown);
    label->setWordWrap(true);
    label->setMinimumWidth(230);
    label->setFont(Theme::dialogFont());
    m_check = new QCheckBox(QStringLiteral("Open exported file."), this);
    m_check->setObjectName(QStringLiteral("1183"));
    m_check->setAccessibleName(m_check->text());
    m_check->setFont(Theme::dialogFont());
    m_check->setChecked(true);
    connect(m_check, &QCheckBox::toggled, this, [this](bool on) { m_open = on; });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    for (QPushButton* b : {ok, cancel})
        b->setAccessibleName(b->text());
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &COpen_Export_Log::accept);
    connect(cancel, &QPushButton::clicked, this, &COpen_Export_Log::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addWidget(label, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addWidget(m_check);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(320, 140);
    ok->setFocus();
}

void COpen_Export_Log::accept()
{
    m_open = m_check->isChecked();
    QDialog::accept();
}
