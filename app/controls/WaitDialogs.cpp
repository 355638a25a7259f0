#include "WaitDialogs.h"

#include "app/controls/Theme.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QLabel* addCentredLabel(QDialog* dialog, const QString& id, const QString& text)
{
    auto* label = new QLabel(text, dialog);
    label->setObjectName(id);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setFont(Theme::headingFont());
    label->setAccessibleName(text);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(18, 14, 18, 14);
    layout->addWidget(label);
    return label;
}

bool swallowsKey(QKeyEvent* event)
{
    return event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

void centreOver(QWidget* window, QWidget* owner)
{
    window->adjustSize();
    QRect area = owner && owner->isVisible() ? owner->frameGeometry()
                                              : (QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry()
                                                                               : QRect(0, 0, 800, 600));
    QRect r = window->frameGeometry();
    r.moveCenter(area.center());
    window->move(r.topLeft());
}

CAddSentItem::CAddSentItem(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("182"));
    setModal(false);
    Theme::applyDialogLook(this);
    setStyleSheet(QStringLiteral("QDialog#182 { border: 1px solid #7f9cc9; }"));
    m_label = addCentredLabel(this, QStringLiteral("1111"), QStringLiteral("It may take a while, Please wait..."));
    setFixedSize(300, 82);
}

void CAddSentItem::setText(const QString& text)
{
    m_label->setText(text);
    m_label->setAccessibleName(text);
}

QString CAddSentItem::text() const
{
    return m_label->text();
}

void CAddSentItem::showCentred()
{
    centreOver(this, parentWidget());
    show();
    raise();
    activateWindow();
}

void CAddSentItem::keyPressEvent(QKeyEvent* event)
{
    if (swallowsKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

CPlease_Wail_Modeless::CPlease_Wail_Modeless(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("210"));
    setModal(false);
    Theme::applyDialogLook(this);
    m_label = addCentredLabel(this, QStringLiteral("1132"), m_strText);
    setMinimumSize(320, 90);
}

void CPlease_Wail_Modeless::showEvent(QShowEvent* event)
{
    m_label->setText(m_strText);
    m_label->setAccessibleName(m_strText);
    QDialog::showEvent(event);
}

void CPlease_Wail_Modeless::showCentred()
{
    m_label->setText(m_strText);
    centreOver(this, parentWidget());
    show();
    raise();
}

QString CPlease_Wail_Modeless::shownText() const
{
    return m_label->text();
}

void CPlease_Wail_Modeless::keyPressEvent(QKeyEvent* event)
{
    if (swallowsKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
