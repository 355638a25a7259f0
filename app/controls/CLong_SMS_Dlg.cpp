#include "CLong_SMS_Dlg.h"

#include "Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CLong_SMS_Dlg::CLong_SMS_Dlg(QWidget* parent, int limit, const QString& text) : QDialog(parent)
{
    setObjectName(QStringLiteral("208"));
    setWindowTitle(QStringLiteral("Information"));
    Theme::applyDialogLook(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(Theme::glyphIcon(Theme::Glyph::Information).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    picture->setAccessibleName(QStringLiteral("Information"));

    m_text = new QLabel(textFor(limit, text), this);
    m_text->setObjectName(QStringLiteral("1132"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Theme::speakText(m_text, QStringLiteral("Information"));
    m_text->setMinimumWidth(380);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(467, 200)));
}

QString CLong_SMS_Dlg::textFor(int limit, const QString& callerText)
{
    if (limit == 70)
        return QStringLiteral(
            "Your current message is exceeding the typical Unicode SMS (non-English text SMS) Length of 70 Characters. "
            "Messages of more than 70 characters will be delivered in multiple messages of 70 characters to each "
            "recipient.\n\nEither shorten the length of your existing text message or click OK to continue anyway by "
            "delivering each message in multiple parts of 70 characters.");
    if (limit == 160)
        return QStringLiteral(
            "Your current message is exceeding the typical SMS Length of 160 Characters. Messages of more than 160 "
            "characters will be delivered in multiple messages of 160 characters to each recipient.\n\nEither shorten "
            "the length of your existing text message or click OK to continue anyway by delivering each message in "
            "multiple parts of 160 characters.");
    return callerText;
}

QString CLong_SMS_Dlg::shownText() const
{
    return m_text->text();
}

void CLong_SMS_Dlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        accept();
        return;
    }
    if (event->key() == Qt::Key_Cancel ||
        (event->key() == Qt::Key_Pause && (event->modifiers() & Qt::ControlModifier))) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
