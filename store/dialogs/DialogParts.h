#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

#include <functional>

class CColorStatic;
class CMyListCtrl;
class QLabel;
class QPushButton;

// Small pieces the data dialogs share.
namespace DialogParts {

QPushButton* button(QWidget* parent, int id, const QString& caption);
QLabel* label(QWidget* parent, int id, const QString& text);
// A label whose accessible name follows its text (counts, names).
void setLiveText(QLabel* label, const QString& text);
// "Need help? Click here to contact us.": opens the vendor's support page.
CColorStatic* supportLink(QWidget* parent);
CMyListCtrl* listView(QWidget* parent, int id, const QString& name);
// A file-dialog filter written "Description|*.a;*.b|...||" in the form Qt's file dialog reads.
QString fileDialogFilter(const QString& filter);
// The row at the list's selection mark, or -1.
int selectionMark(const CMyListCtrl* list);
// Selects the row at `mark` alone when it exists, keeping it as the mark.
void reselectMark(CMyListCtrl* list, int mark);

// Keeps a dialog's controls disabled and a wait window in front of it while
// work runs; nests.
class WaitState
{
public:
    using WindowFactory = std::function<QDialog*(QWidget* owner)>;

    WaitState(QDialog* dialog, WindowFactory factory);
    ~WaitState();

    void begin();
    void end();
    bool active() const { return m_depth > 0; }
    QDialog* window() const { return m_window; }

private:
    QDialog* m_dialog;
    WindowFactory m_factory;
    QPointer<QDialog> m_window;
    QList<QPointer<QWidget>> m_disabled;
    int m_depth = 0;
};

// Waits behind the given WaitState for as long as the object lives.
class WaitScope
{
public:
    explicit WaitScope(WaitState& state) : m_state(state) { m_state.begin(); }
    ~WaitScope() { m_state.end(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    WaitState& m_state;
};

} // namespace DialogParts

#include <QFileInfo>
#include <QThread>

namespace DialogParts {

// For workers: calls read(&opened), and again for a moment while the file
// exists but cannot be opened (the send run may hold it for one append).
template <typename Read> auto readPatiently(const QString& path, bool* opened, Read read)
{
    for (int attempt = 0;; ++attempt) {
        auto result = read(opened);
        if (*opened || attempt >= 20 || !QFileInfo::exists(path))
            return result;
        QThread::msleep(100);
    }
}

} // namespace DialogParts
