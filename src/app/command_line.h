#pragma once
// The program's command line, the same on every system: `nukitori [--workdir DIR | --menu]`, `--help`
// and `--version`. It is
// read here, apart from main, so that every form can be tested without starting the program.
#include <span>
#include <string>
#include <string_view>

namespace app {

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Misuse };
    Action action = Action::Run;
    // UTF-8; empty: the program works in the directory it was started in.
    std::string workFolder;
    // For Misuse: what was wrong, in words ("unknown option --x").
    std::string problem;
    // --menu: started from the desktop's menu, which names no folder of the user's choosing.
    bool menuStart = false;
};

// `arguments` are the words after the program's name. A misuse anywhere wins over --help and
// --version, and --help over --version.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);

// The one line a misuse prints.
inline constexpr std::string_view kUsage = "usage: nukitori [--workdir DIR | --menu] | --help | --version";

// What --help prints: the usage and what the program and its options do.
std::string helpText();

// What --version prints, without a line feed: "nukitori <version>".
std::string versionText(std::string_view version);

}  // namespace app
