#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The program's command line, read before any window exists. Qt's own
// options (-platform, -style, ...) are left for QApplication; any other
// unknown option is an error. New options are rows of the table in the .cpp.
class CommandLine
{
public:
    enum class Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        // --sheets, --columns or --preview: a contact file looked at without a window.
        Preview,
        Fail,
    };

    static constexpr const char* kVersion = "8.2.1.0";
    // Exit status of a command line that cannot be used.
    static constexpr int kUsageError = 2;

    // The arguments after the program name.
    static CommandLine parse(const QStringList& arguments);

    Action action() const { return m_action; }
    QString error() const { return m_error; }

    static QString usage();
    // Prints the help, the version or the error; returns the exit status.
    // Only for actions other than Run and Preview.
    int report(std::FILE* out, std::FILE* err) const;

private:
    Action m_action = Action::Run;
    QString m_error;
};
