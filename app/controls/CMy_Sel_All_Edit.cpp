#include "CMy_Sel_All_Edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

CMy_Sel_All_Edit::CMy_Sel_All_Edit(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QPlainTextEdit::textChanged, this, &CMy_Sel_All_Edit::enforceLimit);
}

QString CMy_Sel_All_Edit::text() const
{
    QString t = toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void CMy_Sel_All_Edit::setText(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    setPlainText(t);
    moveCursor(QTextCursor::End);
}

void CMy_Sel_All_Edit::enforceLimit()
{
    if (m_enforcing)
        return;
    // Each line break counts two characters (CR LF).
    const QString plain = toPlainText();
    const int length = int(plain.size() + plain.count(QLatin1Char('\n')));
    if (length <= m_maxLength)
        return;
    m_enforcing = true;
    int excess = length - m_maxLength;
    QTextCursor cursor = textCursor();
    // Remove the excess just before the cursor: the characters that were just typed or pasted.
    auto trimBefore = [&excess](QTextCursor& c) {
        while (excess > 0 && c.position() > 0) {
            c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
            excess -= (c.selectedText() == QStringLiteral("\u2029")) ? 2 : 1;
            c.removeSelectedText();
        }
    };
    trimBefore(cursor);
    if (excess > 0) {
        // Text set as a whole: keep its beginning.
        cursor.movePosition(QTextCursor::End);
        trimBefore(cursor);
    }
    setTextCursor(cursor);
    m_enforcing = false;
}

void CMy_Sel_All_Edit::keyPressEvent(QKeyEvent* event)
{
    if ((event->modifiers() & Qt::ControlModifier) && event->key() == Qt::Key_A) {
        selectAll();
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CMy_Sel_All_Edit::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    emit focusLost();
}

void CMy_Sel_All_Edit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    insertPlainText(text);
}
