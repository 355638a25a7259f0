#include "CDeviceIni.h"

#include "app/controls/KeepAbove.h"
#include "app/controls/Theme.h"
#include "app/controls/WaitDialogs.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

CDeviceIni::CDeviceIni(QWidget* owner) : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("180"));
    setModal(false);
    Theme::applyDialogLook(this);
    const QString text = QStringLiteral("Initializing Device Please wait... ");
    m_label = new QLabel(text, this);
    m_label->setObjectName(QStringLiteral("1132"));
    m_label->setAccessibleName(text.trimmed());
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setFont(Theme::headingFont());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(m_label);
    setMinimumSize(320, 80);
    keepAboveOwner(this, owner);
    centreOver(this, owner ? owner->window() : nullptr);
}

QString CDeviceIni::text() const
{
    return m_label->text();
}

void CDeviceIni::keyPressEvent(QKeyEvent* event)
{
    // A notice with nothing to answer: Enter and Escape leave it on screen.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
