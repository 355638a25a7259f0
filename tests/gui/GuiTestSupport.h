#pragma once

#include "app/controls/Ui.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

// Records every message box instead of showing it, and answers from a script
// (default: OK, or No for a Yes/No question).
class MessageRecorder
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        Ui::Buttons buttons;
        Ui::Icon icon;
    };

    MessageRecorder()
    {
        Ui::setMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, Ui::Buttons b, Ui::Icon i) {
            shown.append({text, caption, b, i});
            if (!answers.isEmpty())
                return answers.takeFirst();
            return b == Ui::Buttons::YesNo || b == Ui::Buttons::YesNoDefaultNo ? int(Ui::IdNo) : int(Ui::IdOk);
        });
    }
    ~MessageRecorder() { Ui::setMessageBoxHook({}); }

    void answer(int result) { answers.append(result); }
    QStringList texts() const
    {
        QStringList out;
        for (const Shown& s : shown)
            out.append(s.text);
        return out;
    }
    QString last() const { return shown.isEmpty() ? QString() : shown.last().text; }
    void clear() { shown.clear(); }

    QList<Shown> shown;
    QList<int> answers;
};

// Points the program folder, settings and runtime files at a fresh temporary folder.
class TestFolders
{
public:
    TestFolders()
    {
        QDir().mkpath(app());
        QDir().mkpath(config());
        QDir().mkpath(runtime());
        qputenv("VEVA_SMS_APP_DIR", app().toLocal8Bit());
        qputenv("VEVA_SMS_CONFIG_DIR", config().toLocal8Bit());
        qputenv("VEVA_SMS_RUNTIME_DIR", runtime().toLocal8Bit());
    }
    QString app() const { return m_dir.path() + QStringLiteral("/program folder"); }
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString runtime() const { return m_dir.path() + QStringLiteral("/run"); }
    // Writes `bytes` to a file of the program folder and returns its path.
    QString appFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = app() + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the test file %s", qPrintable(path));
        return path;
    }

private:
    QTemporaryDir m_dir;
};

// Modal dialogs a test is waiting for (whenModal() not run yet) or has taken
// charge of (whenModal() ran on it). Any other modal dialog is unexpected.
namespace ModalWatch {

inline constexpr int kUnexpectedModalMs = 3000;
// A dialog the test acted on may work a while (a port scan), but not for ever.
inline constexpr int kHandledModalMs = 30000;

inline std::map<int, std::function<bool(QWidget*)>>& awaited()
{
    static std::map<int, std::function<bool(QWidget*)>> waiting;
    return waiting;
}

inline QList<QPointer<QWidget>>& handled()
{
    static QList<QPointer<QWidget>> dialogs;
    return dialogs;
}

inline bool isAwaited(QWidget* modal)
{
    for (const auto& entry : awaited()) {
        if (entry.second(modal))
            return true;
    }
    return false;
}

// A modal dialog nobody expects, running its own event loop for a few seconds
// (or one the test acted on that stays open far longer), fails the running
// test and is closed, instead of hanging until the ctest time-out. Dialogs
// shown with open() while the test polls are left alone.
inline void start()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    struct Seen
    {
        QPointer<QWidget> modal;
        QElapsedTimer since;
    };
    auto seen = std::make_shared<Seen>();
    auto* timer = new QTimer(app);
    QObject::connect(timer, &QTimer::timeout, app, [seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || QThread::currentThread()->loopLevel() == 0) {
            seen->modal = nullptr;
            return;
        }
        if (seen->modal != modal) {
            seen->modal = modal;
            seen->since.start();
            return;
        }
        handled().removeAll(nullptr);
        const bool tookCharge = handled().contains(modal);
        if ((!tookCharge && isAwaited(modal)) ||
            seen->since.elapsed() < (tookCharge ? kHandledModalMs : kUnexpectedModalMs))
            return;
        seen->modal = nullptr;
        const QString what = QStringLiteral("%1 modal dialog %2 \"%3\"")
                                 .arg(tookCharge ? QStringLiteral("stuck") : QStringLiteral("unexpected"),
                                      QLatin1String(modal->metaObject()->className()), modal->windowTitle());
        QTest::qFail(qPrintable(what), __FILE__, __LINE__);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->QDialog::done(QDialog::Rejected); // past overrides that refuse to close
        else
            modal->close();
    });
    timer->start(100);
}

} // namespace ModalWatch

inline void startModalWatch()
{
    ModalWatch::start();
}
Q_COREAPP_STARTUP_FUNCTION(startModalWatch)

// Runs `action` on the next modal dialog of type T once it is open, looking
// for up to a minute: some dialogs open only after a send run has begun.
template <typename T> void whenModal(std::function<void(T*)> action)
{
    static int nextKey = 0;
    const int key = ++nextKey;
    ModalWatch::awaited()[key] = [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; };
    struct Poll : std::enable_shared_from_this<Poll>
    {
        std::function<void(T*)> action;
        int key = 0;
        int tries = 0;
        void run()
        {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                ModalWatch::awaited().erase(key);
                ModalWatch::handled().append(dialog);
                action(dialog);
                return;
            }
            if (++tries < 6000)
                QTimer::singleShot(10, [self = this->shared_from_this()] { self->run(); });
            else
                ModalWatch::awaited().erase(key);
        }
    };
    auto poll = std::make_shared<Poll>();
    poll->action = std::move(action);
    poll->key = key;
    QTimer::singleShot(0, [poll] { poll->run(); });
}

// What assistive technology reads for the widget: its name, then "|" and its description.
inline QString spoken(QWidget* widget)
{
    QAccessibleInterface* a = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return a ? a->text(QAccessible::Name) + QLatin1Char('|') + a->text(QAccessible::Description)
             : QStringLiteral("<none>");
}

template <typename T = QWidget> T* byId(QWidget* parent, int id)
{
    return parent->findChild<T*>(QString::number(id));
}
