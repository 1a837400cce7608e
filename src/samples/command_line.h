#pragma once
// nukitori-samples' command line: `nukitori-samples FOLDER` (the summary), `nukitori-samples
// export --format FORMAT FOLDER --out DIR [--class NAME] [--vec W H]`, `--help` and `--version`.
// Read here, apart from main, so that every form can be tested without running the program.
#include <span>
#include <string>
#include <string_view>

#include "samples/export.h"

namespace samples {

struct CommandLine {
    enum class Action { Summary, Export, ShowHelp, ShowVersion, Misuse };
    Action action = Action::Summary;
    std::string folder;  // the save folder, UTF-8
    std::string out;     // Export: the output folder, UTF-8
    ExportOptions options;
    // For Misuse: what was wrong, in words ("unknown format xml").
    std::string problem;
};

// `arguments` are the words after the program's name; options come in any order. A wrong word
// anywhere wins over --help and --version, --help over --version, and either over what is
// missing.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);

// The lines a misuse prints after its problem.
inline constexpr std::string_view kUsage =
    "usage: nukitori-samples FOLDER\n"
    "       nukitori-samples export --format opencv|yolo|coco FOLDER --out DIR [--class NAME] [--vec W H]\n"
    "       nukitori-samples --help | --version";

// What --help prints: the usage and every option.
std::string helpText();

// What --version prints, without a line feed: "nukitori-samples <version>".
std::string versionText(std::string_view version);

}  // namespace samples
