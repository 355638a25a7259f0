#pragma once

#include "app/Ui.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
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
            return b == Ui::Buttons::YesNo ? int(Ui::IdNo) : int(Ui::IdOk);
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

private:
    QTemporaryDir m_dir;
};

// Runs `action` on the next modal dialog of type T once it is open, looking
// for up to a minute: some dialogs open only after a send run has begun.
template <typename T>
void whenModal(std::function<void(T*)> action)
{
    struct Poll : std::enable_shared_from_this<Poll>
    {
        std::function<void(T*)> action;
        int tries = 0;
        void run()
        {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                action(dialog);
                return;
            }
            if (++tries < 6000)
                QTimer::singleShot(10, [self = this->shared_from_this()] { self->run(); });
        }
    };
    auto poll = std::make_shared<Poll>();
    poll->action = std::move(action);
    QTimer::singleShot(0, [poll] { poll->run(); });
}

// What assistive technology reads for the widget: its name, then "|" and its description.
inline QString spoken(QWidget* widget)
{
    QAccessibleInterface* a = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return a ? a->text(QAccessible::Name) + QLatin1Char('|') + a->text(QAccessible::Description)
             : QStringLiteral("<none>");
}

template <typename T = QWidget>
T* byId(QWidget* parent, int id)
{
    return parent->findChild<T*>(QString::number(id));
}
