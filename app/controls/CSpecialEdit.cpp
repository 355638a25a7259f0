#include "CSpecialEdit.h"

#include "app/controls/Ui.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>

namespace {

bool passesThrough(QChar c)
{
    return c == QLatin1Char('\b') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

} // namespace

CSpecialEdit::CSpecialEdit(QWidget* parent) : QLineEdit(parent)
{
    setAcceptDrops(false);
    setDragEnabled(false);
}

CSpecialEdit::~CSpecialEdit() = default;

void CSpecialEdit::setFormat(std::unique_ptr<IFormat> format)
{
    m_format = std::move(format);
}

void CSpecialEdit::refuse()
{
    Ui::notice(this, QStringLiteral("Invalid number."));
}

bool CSpecialEdit::checkedPaste(const QString& clipboardText, bool clipboardHasText)
{
    if (m_format) {
        bool ok = clipboardHasText;
        for (QChar c : clipboardText) {
            if (!passesThrough(c) && !m_format->accepts(c)) {
                ok = false;
                break;
            }
        }
        if (!ok) {
            Ui::beep();
            refuse();
            return false;
        }
    }
    // A single-line edit keeps what comes before the first line break.
    QString text = clipboardText;
    const qsizetype br = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (br >= 0)
        text.truncate(br);
    text.remove(QLatin1Char('\t'));
    text.remove(QLatin1Char('\b'));
    insert(text);
    return true;
}

void CSpecialEdit::insertFromClipboard()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime) {
        // The clipboard could not be read at all: paste as usual.
        paste();
        return;
    }
    checkedPaste(mime->text(), mime->hasText());
}

void CSpecialEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        insertFromClipboard();
        return;
    }
    // Alt with a letter is an access key nobody took, not a typed character.
    if (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        if (event->key() == Qt::Key_A) {
            selectAll();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A field with its own Enter keeps it; in any other, Enter presses the dialog's default button.
        if (!isSignalConnected(QMetaMethod::fromSignal(&CSpecialEdit::returnPressedInEdit))) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        emit returnPressedInEdit();
        event->accept();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty() || !m_format || !text.at(0).isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    for (QChar c : text) {
        if (!passesThrough(c) && !m_format->accepts(c)) {
            event->accept();
            refuse();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void CSpecialEdit::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &CSpecialEdit::insertFromClipboard);
        }
    }
    menu->exec(event->globalPos());
}

void CSpecialEdit::mouseReleaseEvent(QMouseEvent* event)
{
    // No unchecked middle-button paste of the selection.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}
