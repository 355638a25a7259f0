#include "CommandLine.h"

#include "import/ContactPreview.h"
#include "platform/Paths.h"

#include <array>

namespace {

struct Option
{
    const char* longName;
    const char* shortName; // may be null
    CommandLine::Action action;
    const char* help;
};

constexpr std::array kOptions = {
    Option{"--help", "-h", CommandLine::Action::ShowHelp, "show this help and end"},
    Option{"--version", nullptr, CommandLine::Action::ShowVersion, "show the version and end"},
};

// Options QApplication takes itself; the second group takes a value.
constexpr std::array kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
constexpr std::array kQtWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "qwindowicon",  "qwindowtitle",
    "style",    "stylesheet",         "session",       "display", "geometry",        "qmljsdebugger"};

struct EnvironmentVariable
{
    const char* name;
    const char* help;
};

constexpr std::array kEnvironment = {
    EnvironmentVariable{"VEVA_SMS_APP_DIR", "the program folder (data folder, loader, module)"},
    EnvironmentVariable{"XDG_DATA_HOME", "holds veva-sms/VEVA_SMS_DATA when the program folder cannot be written "
                                         "or is installed (default ~/.local/share)"},
    EnvironmentVariable{"VEVA_SMS_CONFIG_DIR",
                        "the registry stand-in and the handset description (default ~/.config/veva-sms)"},
    EnvironmentVariable{"VEVA_SMS_RUNTIME_DIR",
                        "the device service socket, the modem port map and the single-instance name "
                        "(default $XDG_RUNTIME_DIR/veva-sms)"},
    EnvironmentVariable{"VEVA_SMS_ANSI_CODEPAGE", "the narrow code page of message texts (default windows-1252)"},
    EnvironmentVariable{"VEVA_SMS_LOCK_DIR", "the serial ports' UUCP lock files (default /run/lock, else /var/lock)"},
};

const Option* findOption(const QString& argument)
{
    for (const Option& option : kOptions) {
        if (argument == QLatin1String(option.longName) ||
            (option.shortName && argument == QLatin1String(option.shortName)))
            return &option;
    }
    return nullptr;
}

// 0: not one of Qt's; 1: a flag; 2: it takes the next argument (unless given as -name=value).
int qtOption(const QString& argument)
{
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const bool inlineValue = name.contains(QLatin1Char('='));
    name = name.section(QLatin1Char('='), 0, 0);
    for (const char* flag : kQtFlags) {
        if (name == QLatin1String(flag) && !inlineValue)
            return 1;
    }
    for (const char* withValue : kQtWithValue) {
        if (name == QLatin1String(withValue))
            return inlineValue ? 1 : 2;
    }
    return 0;
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    const auto fail = [&line](const QString& error) {
        line.m_action = Action::Fail;
        line.m_error = error;
        return line;
    };
    // A contact file to look at: its own options are checked when it runs,
    // unless help or the version is asked for as well.
    if (ContactPreview::isPreviewCommand(arguments)) {
        line.m_action = Action::Preview;
        for (const QString& argument : arguments) {
            const Option* known = findOption(argument);
            if (known && line.m_action == Action::Preview)
                line.m_action = known->action;
        }
        return line;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (const Option* known = findOption(argument)) {
            // The first request for help or the version wins over the rest.
            if (line.m_action == Action::Run)
                line.m_action = known->action;
            continue;
        }
        if (const int qt = argument.startsWith(QLatin1Char('-')) ? qtOption(argument) : 0) {
            if (qt == 2 && ++i >= arguments.size())
                return fail(QStringLiteral("option \"%1\" needs a value").arg(argument));
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')))
            return fail(QStringLiteral("unknown option \"%1\"").arg(argument));
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(argument));
    }
    return line;
}

QString CommandLine::usage()
{
    QString text = QStringLiteral("Usage: veva-sms [option]\n       veva-sms --sheets|--columns|--preview FILE ..."
                                  "\n\nSends text messages to a list of recipients through a handset.\n\nOptions:\n");
    for (const Option& option : kOptions) {
        const QString names = option.shortName ? QStringLiteral("%1, %2").arg(QLatin1String(option.shortName),
                                                                              QLatin1String(option.longName))
                                               : QLatin1String(option.longName);
        text += QStringLiteral("  %1  %2\n").arg(names, -16).arg(QLatin1String(option.help));
    }
    text += QStringLiteral("\nQt's own options, such as -platform and -style, are passed on.\n\n");
    text += ContactPreview::usage();
    text += QStringLiteral("\nEnvironment:\n");
    for (const EnvironmentVariable& variable : kEnvironment)
        text += QStringLiteral("  %1  %2\n").arg(QLatin1String(variable.name), -22).arg(QLatin1String(variable.help));
    text += QStringLiteral("\nFiles, as found now:\n");
    text += QStringLiteral("  %1  %2\n").arg(QStringLiteral("data folder"), -22).arg(Paths::dataFolder());
    text += QStringLiteral("  %1  %2\n").arg(QStringLiteral("loader and module"), -22).arg(Paths::companionFolder());
    return text;
}

int CommandLine::report(std::FILE* out, std::FILE* err) const
{
    switch (m_action) {
    case Action::ShowHelp:
        std::fputs(usage().toLocal8Bit().constData(), out);
        return 0;
    case Action::ShowVersion:
        std::fprintf(out, "veva-sms %s\n", kVersion);
        return 0;
    case Action::Fail:
        std::fprintf(err, "veva-sms: %s\nTry \"veva-sms --help\".\n", m_error.toLocal8Bit().constData());
        return kUsageError;
    case Action::Run:
    case Action::Preview:
        break;
    }
    return 0;
}
