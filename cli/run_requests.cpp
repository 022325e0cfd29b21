#include "cli/run_requests.h"

#include "encode/settings_store.h"
#include "image/image_intake.h"
#include "image/image_settings.h"
#include "shell/lang.h"

RunRequests RunRequests::Make(const CliArguments &arguments, const SortedFiles &files)
{
    const QString appName = Lang::Get(QStringLiteral("IDS_APP_NAME"));
    const OutputFolder output = OutputFolder::FromArgument(arguments.output);
    RunRequests requests;

    RunRequest &movies = requests.movies;
    movies.jobs = files.movies;
    movies.hd = arguments.hd;
    if (!movies.jobs.isEmpty()) {
        // As the movie page starts: a first start stores the defaults it uses.
        MovieSettings settings;
        SettingsStore(appName).Initialise(settings, arguments.hd);
        movies.encode = settings.encode;
        movies.outputFolder = output.IsValid() ? output : OutputFolder(settings.options.SaveFolder);
    }

    RunRequest &pictures = requests.pictures;
    pictures.jobs = files.pictures;
    pictures.hd = arguments.hd;
    if (!pictures.jobs.isEmpty()) {
        const ImageSettings settings = ImageSettings::Load(appName);
        pictures.outputFolder = output.IsValid() ? output : OutputFolder(settings.saveFolder);
        pictures.box = ImageBoxes::FromLang().Chosen(arguments.hd);
        pictures.rotateSteps = arguments.rotateSteps.value_or(settings.RotateSteps());
    }
    return requests;
}
