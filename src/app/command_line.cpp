#include "app/command_line.h"

#include "app/key_table.h"

#include <utility>

namespace app {
namespace {

constexpr std::string_view kWorkdir = "--workdir";

CommandLine misuse(std::string problem) {
    return {CommandLine::Action::Misuse, {}, std::move(problem)};
}

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> arguments) {
    CommandLine result;
    bool help = false;
    bool version = false;
    bool workdirSeen = false;
    bool menu = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view word = arguments[i];
        if (word == "--help") {
            help = true;
        } else if (word == "--version") {
            version = true;
        } else if (word == kWorkdir || word.starts_with("--workdir=")) {
            if (workdirSeen) return misuse("--workdir given twice");
            workdirSeen = true;
            std::string_view value;
            if (word == kWorkdir) {
                if (i + 1 < arguments.size()) value = arguments[++i];
            } else {
                value = word.substr(kWorkdir.size() + 1);
            }
            // An empty name would silently mean the current directory.
            if (value.empty()) return misuse("--workdir needs a folder");
            result.workFolder = value;
        } else if (word == "--menu") {
            menu = true;
        } else if (word.starts_with("-")) {
            return misuse("unknown option " + std::string(word));
        } else {
            return misuse("unexpected argument " + std::string(word));
        }
    }
    // Each names the folder to work in, so together they are a contradiction.
    if (menu && workdirSeen) return misuse("--menu and --workdir exclude each other");
    if (help) return {CommandLine::Action::ShowHelp, {}, {}};
    if (version) return {CommandLine::Action::ShowVersion, {}, {}};
    result.menuStart = menu;
    return result;
}

std::string helpText() {
    return std::string(kUsage) +
           "\n\n"
           "nukitori cuts image samples out of a 3D view: drag the capture frame over a picture to\n"
           "make it the model's texture, place the overlay and press Enter to save the pixels\n"
           "under it as a numbered BMP file.\n"
           "\n"
           "  --workdir DIR  work in DIR (created when missing) instead of the current directory\n"
           "  --menu         work in the folder nukitori of the pictures folder, given the sample\n"
           "                 files it lacks, as a start from the menu does\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n"
           "\n"
#ifdef _WIN32
           "Started from Explorer, nukitori works in its own folder; from the Start menu, in the\n"
           "folder nukitori of the pictures folder; from another shortcut or a prompt, in the\n"
           "folder it was started in.\n"
#else
           "Started from the desktop menu, nukitori works in the folder nukitori of the pictures\n"
           "folder and puts the sample files there when they are missing.\n"
#endif
           "\n"
           "Keys (F1 in nukitori shows them too):\n\n" +
           keyTableText();
}

std::string versionText(std::string_view version) {
    return "nukitori " + std::string(version);
}

}  // namespace app
