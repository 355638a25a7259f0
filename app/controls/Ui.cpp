#include "Ui.h"

#include "GuiThread.h"
#include "app/controls/Theme.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace Ui {

namespace {

MessageBoxHook& messageHook()
{
    static MessageBoxHook hook;
    return hook;
}

FileDialogHook& fileHook()
{
    static FileDialogHook hook;
    return hook;
}

FileTypeHook& typeHook()
{
    static FileTypeHook hook;
    return hook;
}

// A box without a parent opens in the middle of the window it speaks for. Its
// size is known only once it is being shown, before it reaches the screen.
class StandingBox : public QMessageBox
{
public:
    StandingBox(QWidget* parent, QWidget* centreOn) : QMessageBox(parent), m_centreOn(centreOn) {}

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        if (m_centreOn)
            move(m_centreOn->frameGeometry().center() - rect().center());
    }

private:
    QPointer<QWidget> m_centreOn;
};

} // namespace

int messageBox(QWidget* owner, const QString& text, const QString& caption, Buttons buttons, Icon icon)
{
    // Workers may ask too: the box (and the test hook) always runs on the GUI thread.
    if (QThread::currentThread() != qApp->thread())
        return onGuiThread([&] { return messageBox(owner, text, caption, buttons, icon); });
    if (messageHook())
        return messageHook()(owner, text, caption, buttons, icon);

    // A disabled owner (a window behind a wait window) would disable its box too;
    // such a box stands on its own, in front of the owner, modal to the program.
    QWidget* parent = owner && owner->window()->isEnabled() ? owner : nullptr;
    StandingBox box(parent, parent || !owner || !owner->isVisible() ? nullptr : owner->window());
    if (!parent)
        box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // The custom dialogs' background and pictures, for one look.
    Theme::applyDialogLook(&box);
    const int iconSize = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    switch (icon) {
    case Icon::Information:
        box.setIconPixmap(Theme::glyphIcon(Theme::Glyph::Information).pixmap(iconSize, iconSize));
        break;
    case Icon::Question:
        box.setIconPixmap(Theme::glyphIcon(Theme::Glyph::Help).pixmap(iconSize, iconSize));
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::None:
        break;
    }
    QAbstractButton* wizard = nullptr;
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Buttons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    case Buttons::OkWizard:
        wizard = box.addButton(QStringLiteral("Mobile Phone Connection Wizard"), QMessageBox::AcceptRole);
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    }
    for (QAbstractButton* b : box.buttons()) {
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
        b->setIcon(QIcon()); // plain buttons, as in our own dialogs
    }
    const int result = box.exec();
    if (wizard && box.clickedButton() == wizard)
        return IdYes;
    switch (result) {
    case QMessageBox::Ok:
        return IdOk;
    case QMessageBox::Yes:
        return IdYes;
    case QMessageBox::No:
        return IdNo;
    case QMessageBox::Retry:
        return IdRetry;
    default:
        return buttons == Buttons::YesNo || buttons == Buttons::YesNoDefaultNo ? IdNo : IdCancel;
    }
}

void setMessageBoxHook(MessageBoxHook hook)
{
    messageHook() = std::move(hook);
}

QString getOpenFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter)
{
    if (QThread::currentThread() != qApp->thread())
        return onGuiThread([&] { return getOpenFileName(owner, caption, folder, filter); });
    if (fileHook())
        return fileHook()(FileDialogKind::Open, owner, caption, folder, filter);
    return QFileDialog::getOpenFileName(owner, caption, folder, filter);
}

QString getSaveFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter)
{
    if (QThread::currentThread() != qApp->thread())
        return onGuiThread([&] { return getSaveFileName(owner, caption, folder, filter); });
    if (fileHook())
        return fileHook()(FileDialogKind::Save, owner, caption, folder, filter);
    return QFileDialog::getSaveFileName(owner, caption, folder, filter);
}

QString getSaveFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filter,
                        int* typeIndex)
{
    if (QThread::currentThread() != qApp->thread())
        return onGuiThread([&] { return getSaveFileName(owner, caption, folder, filter, typeIndex); });
    const QStringList types = filter.split(QStringLiteral(";;"));
    if (fileHook()) {
        const QString name = fileHook()(FileDialogKind::Save, owner, caption, folder, filter);
        if (typeIndex)
            *typeIndex = typeHook() ? typeHook()(filter) : 0;
        return name;
    }
    QString chosen;
    const QString name = QFileDialog::getSaveFileName(owner, caption, folder, filter, &chosen);
    if (typeIndex)
        *typeIndex = std::max(0, int(types.indexOf(chosen)));
    return name;
}

void setFileDialogHook(FileDialogHook hook)
{
    fileHook() = std::move(hook);
}

void setFileTypeHook(FileTypeHook hook)
{
    typeHook() = std::move(hook);
}

void beep()
{
    QApplication::beep();
}

} // namespace Ui
