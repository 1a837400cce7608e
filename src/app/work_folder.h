#pragma once
// The folder nukitori works in. Started from a shell it is the current directory or the one the
// command line names; started from the desktop menu, where there is no directory of the user's
// choosing, it is "nukitori" in the user's pictures folder, given the sample files on the way
// so that the first start shows a model. Paths are UTF-8.
#include <array>
#include <string>
#include <string_view>

#include "base/result.h"

namespace app {

// The folder that XDG_PICTURES_DIR names in the text of a user-dirs.dirs file, with "$HOME"
// replaced by `home`; empty when the text names none usable (only "$HOME/…" and absolute
// paths are). The last assignment counts, as it does when a shell reads the file.
std::string picturesFolderFromUserDirs(std::string_view userDirsText, std::string_view home);

// The user's configuration folder: `configHome` (XDG_CONFIG_HOME) when it is absolute, else
// <home>/.config; empty when `home` is empty too.
std::string configFolder(std::string_view home, std::string_view configHome);

// The user's pictures folder: the one <configHome>/user-dirs.dirs names (<home>/.config when
// `configHome` is empty or not absolute), else <home>/Pictures; empty when `home` is empty.
std::string picturesFolder(std::string_view home, std::string_view configHome);

// Creates `folder` with its parents when missing and makes it the working directory. The
// failure names the folder and the system's reason.
base::Status enterWorkFolder(std::string_view folder);

// Copies into `folder` each sample file of `dataFolder` that it lacks, and creates the save
// folder. An existing file is never replaced. A sample that cannot be copied is logged and
// skipped: the program then reports the file it misses as it would anywhere.
void seedWorkFolder(std::string_view folder, std::string_view dataFolder);

// Enters "nukitori" in `picturesFolder` and seeds it from `dataFolder`: the menu start, once
// the system has told where the user's pictures are.
base::Status enterPicturesWorkFolder(std::string_view picturesFolder, std::string_view dataFolder);

// The menu start: enters "nukitori" in the pictures folder of `home` (see picturesFolder) and
// seeds it from `dataFolder`.
base::Status enterMenuWorkFolder(std::string_view home, std::string_view configHome,
                                 std::string_view dataFolder);

}  // namespace app
