#include "image/image_settings.h"

#include "platform/registry.h"
#include "shell/app_paths.h"
#include "shell/output_folder.h"

namespace {

const QString kSaveFolder = QStringLiteral("Save FolderImage");
const QString kRotateImage = QStringLiteral("RotateImage");
const QString kRotateAngle = QStringLiteral("RotateAngle");

} // namespace

QString ImageSettings::KeyPath(const QString &appName) { return QStringLiteral("software\\") + appName; }

int ImageSettings::RotateSteps() const { return rotateImage == 1 ? int(rotateAngle % 4) : 0; }

ImageSettings ImageSettings::Load(const QString &appName)
{
    ImageSettings settings;
    platform::Registry registry(KeyPath(appName));
    if (registry.Exists()) {
        // Each value is read only when the one before it was.
        const std::optional<QString> folder = registry.ReadString(kSaveFolder);
        if (folder && !folder->isEmpty()) {
            settings.saveFolder = OutputFolder(*folder).Text();
            if (const std::optional<quint32> rotate = registry.ReadDword(kRotateImage)) {
                settings.rotateImage = *rotate;
                if (const std::optional<quint32> angle = registry.ReadDword(kRotateAngle)) {
                    settings.rotateAngle = *angle;
                    return settings;
                }
            }
        }
    }
    settings.saveFolder = AppPaths::DefaultOutputFolder(appName);
    settings.Store(appName);
    return settings;
}

bool ImageSettings::Store(const QString &appName) const
{
    platform::Registry registry(KeyPath(appName));
    bool ok = registry.WriteString(kSaveFolder, saveFolder);
    ok = registry.WriteDword(kRotateImage, rotateImage) && ok;
    ok = registry.WriteDword(kRotateAngle, rotateAngle) && ok;
    return registry.Sync() && ok;
}
