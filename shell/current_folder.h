#pragma once

#include <QString>

#include <optional>

// The folder the open-file dialogs start in: the string "Current Folder" stored under
// software\BRIVO_NAME\<App_Name>, where App_Name comes from the [option] section of the
// system initialisation file (default "DEFAULT_APP_NAME"). Nothing in Framepress writes it.
// nullopt when the key or value is missing, is not a string, or is 260 characters or longer
// (it would not fit a path buffer); the dialog then opens in its default folder.
std::optional<QString> ReadCurrentFolder();

// software\BRIVO_NAME\<App_Name>, the key ReadCurrentFolder reads.
QString CurrentFolderKey();
