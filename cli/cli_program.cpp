#include "cli/cli_program.h"

#include "cli/cli_arguments.h"
#include "cli/cli_driver.h"
#include "cli/interrupt_watch.h"
#include "cli/run_printer.h"
#include "cli/run_requests.h"
#include "cli/sorted_files.h"
#include "engine/engine_process.h"
#include "image/image_run.h"
#include "movie/movie_run.h"
#include "shell/app_paths.h"
#include "shell/file_intake.h"
#include "shell/lang.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void Complain(const QString &text) { std::fprintf(stderr, "framepress-cli: %s\n", qPrintable(text)); }

} // namespace

int RunCli(const QStringList &arguments)
{
    const ParsedArguments parsed = ParseArguments(arguments.mid(1));
    if (!parsed.arguments) {
        Complain(parsed.error);
        std::fprintf(stderr, "Try \"framepress-cli --help\".\n");
        return CliDriver::kUsageError;
    }
    const CliArguments &cli = *parsed.arguments;
    if (cli.help) {
        std::fputs(qPrintable(UsageText()), stdout);
        return CliDriver::kAllConverted;
    }
    const QString langFile = AppPaths::Current().langFile;
    if (!Lang::Start(langFile)) {
        Complain(QStringLiteral("cannot read %1; installing Framepress again may help").arg(langFile));
        return CliDriver::kSomeFailed;
    }

    const SortedFiles files =
        SortedFiles::Sort(cli.files, ParseExtensionList(Lang::Get(QStringLiteral("IDS_SUPPORT_FILES"))),
                          ParseExtensionList(Lang::Get(QStringLiteral("IDS_SUPPORT_IMAGE_FILES"))));
    const RunRequests requests = RunRequests::Make(cli, files);
    const RunPrinter::Style style = cli.json                  ? RunPrinter::Style::Json
                                    : ::isatty(STDOUT_FILENO) ? RunPrinter::Style::Terminal
                                                              : RunPrinter::Style::Lines;
    const std::unique_ptr<RunPrinter> printer = RunPrinter::Make(style);
    // A reader that went away costs the output, not the conversion.
    std::signal(SIGPIPE, SIG_IGN);

    // The engine is "mencoder" beside this program, as the window finds it.
    engine::EngineProcess engine;
    MovieRun movies(engine);
    ImageRun pictures;
    CliDriver driver(*printer, cli.files, cli.trashSources);
    driver.AddRefused(files.refused);
    driver.AddRun(QStringLiteral("movie"), movies, requests.movies);
    driver.AddRun(QStringLiteral("picture"), pictures, requests.pictures);
    InterruptWatch interrupts;
    QObject::connect(&interrupts, &InterruptWatch::interrupted, &driver, &CliDriver::Interrupt);
    QObject::connect(&driver, &CliDriver::finished, qApp, &QCoreApplication::exit);
    driver.Start();
    return QCoreApplication::exec();
}
