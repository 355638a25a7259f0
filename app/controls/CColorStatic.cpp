#include "CColorStatic.h"

#include "Theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CColorStatic::CColorStatic(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    m_background = palette().color(QPalette::Button);
    setAutoFillBackground(true);
    applyColors();
}

CColorStatic* CColorStatic::makeLink(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* link = new CColorStatic(text, parent);
    link->setObjectName(objectName);
    link->setAccessibleName(text);
    link->setFont(Theme::linkFont());
    link->setTextColor(Theme::linkColor());
    link->setBkColor(Theme::background());
    link->setClickable(true);
    return link;
}

void CColorStatic::setTextColor(const QColor& color)
{
    m_text = color;
    applyColors();
}

void CColorStatic::setBkColor(const QColor& color)
{
    m_background = color;
    applyColors();
}

void CColorStatic::setClickable(bool clickable)
{
    m_clickable = clickable;
    setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(clickable ? Qt::TabFocus : Qt::NoFocus);
}

void CColorStatic::applyColors()
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, m_text);
    pal.setColor(QPalette::Window, m_background);
    setPalette(pal);
    update();
}

void CColorStatic::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_clickable && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CColorStatic::keyPressEvent(QKeyEvent* event)
{
    if (m_clickable &&
        (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CColorStatic::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!m_clickable || !hasFocus())
        return;
    // A link reached with Tab shows it: a dotted frame round its text.
    QPainter painter(this);
    QPen pen(m_text, 1, Qt::DotLine);
    painter.setPen(pen);
    const QRect text = fontMetrics().boundingRect(contentsRect(), int(alignment()) | Qt::TextWordWrap, this->text());
    painter.drawRect(text.adjusted(-2, -1, 1, 0).intersected(rect().adjusted(0, 0, -1, -1)));
}
