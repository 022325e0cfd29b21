#include "cli/cli_arguments.h"

#include "run/state_folder.h"

namespace {

// The value of an option that takes one: the rest of "--name=value", else the next argument.
std::optional<QString> TakeValue(const QString &arg, const QStringList &args, int &i)
{
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq >= 0)
        return arg.mid(eq + 1);
    if (i + 1 >= args.size())
        return std::nullopt;
    return args[++i];
}

} // namespace

ParsedArguments ParseArguments(const QStringList &args)
{
    CliArguments parsed;
    QString error;
    bool filesOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (filesOnly || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            parsed.files << arg;
            continue;
        }
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        const bool hasValue = arg.contains(QLatin1Char('='));
        QString problem;
        if (arg == QLatin1String("--")) {
            filesOnly = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
        } else if (arg == QLatin1String("--hd") || arg == QLatin1String("--sd")) {
            parsed.hd = arg == QLatin1String("--hd");
        } else if (arg == QLatin1String("--trash-sources")) {
            parsed.trashSources = true;
        } else if (arg == QLatin1String("--json")) {
            parsed.json = true;
        } else if (name == QLatin1String("--output")) {
            const std::optional<QString> value = TakeValue(arg, args, i);
            if (!value || value->isEmpty())
                problem = QStringLiteral("--output needs a folder");
            else
                parsed.output = *value;
        } else if (name == QLatin1String("--rotate")) {
            const std::optional<QString> value = TakeValue(arg, args, i);
            static const QStringList angles = {QStringLiteral("0"), QStringLiteral("90"), QStringLiteral("180"),
                                               QStringLiteral("270")};
            if (!value)
                problem = QStringLiteral("--rotate needs an angle: 0, 90, 180 or 270");
            else if (!angles.contains(*value))
                problem = QStringLiteral("--rotate takes 0, 90, 180 or 270, not \"%1\"").arg(*value);
            else
                parsed.rotateSteps = int(angles.indexOf(*value));
        } else {
            problem = QStringLiteral("unknown option \"%1\"").arg(hasValue ? name : arg);
        }
        if (error.isEmpty())
            error = problem;
    }
    if (parsed.help)
        return {parsed, {}};
    if (error.isEmpty() && parsed.files.isEmpty())
        error = QStringLiteral("no file to convert");
    if (!error.isEmpty())
        return {std::nullopt, error};
    return {parsed, {}};
}

QString UsageText()
{
    return QStringLiteral(
               "Usage: framepress-cli [--hd|--sd] [--output DIR] [--rotate 0|90|180|270] [--trash-sources] [--json] "
               "FILE...\n"
               "\n"
               "Converts movies (through the engine, as the window's movie mode does) and pictures (to JPEG,\n"
               "as its image mode does): the movies first, as one run, then the pictures, each in the order\n"
               "given. Which is which goes by the extensions the window accepts; any other file fails.\n"
               "\n"
               "  --hd, --sd         the profile or picture box: HD (the default) or SD\n"
               "  --output DIR       the folder for every output, instead of the saved save folders\n"
               "  --rotate ANGLE     turn every picture clockwise by 0, 90, 180 or 270 degrees,\n"
               "                     instead of the saved rotation\n"
               "  --trash-sources    move the sources of converted files to the trash (movies: when the\n"
               "                     last movie converted; pictures: when their run finished)\n"
               "  --json             one JSON object a line for each event, and nothing else\n"
               "  --help             this text\n"
               "\n"
               "On a terminal a live line shows the file in work and the run; otherwise a line tells when\n"
               "a file starts and one when it ends. Ctrl-C cancels: the file in work leaves nothing behind,\n"
               "finished outputs stay. Settings: the window's (Options). The run log: %1\n"
               "\n"
               "Exit status: 0 every file converted, 1 a file failed, 2 a usage error, 130 cancelled.\n")
        .arg(RunLogPath());
}
