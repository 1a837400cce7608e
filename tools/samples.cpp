// nukitori-samples: what a save folder holds by its record, and its samples exported as training
// sets for object detectors (OpenCV cascades, YOLO, COCO). The work is in src/samples/.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "samples/command_line.h"
#include "samples/export.h"
#include "samples/sample_record.h"
#include "samples/save_folder.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "base/os/windows_text.h"
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

void errorLine(const std::string& line) {
    std::fputs(("nukitori-samples: " + line + "\n").c_str(), stderr);
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// "exporting 120/500", rewritten in place on a terminal and nowhere else; an export done within
// half a second shows none.
class ProgressLine {
public:
    ProgressLine() : terminal_(stderrIsTerminal()), start_(Clock::now()) {}

    void operator()(std::size_t done, std::size_t total) {
        if (!terminal_ || done >= total) return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::milliseconds(500) || now - shownAt_ < std::chrono::milliseconds(100))
            return;
        shownAt_ = now;
        const std::string line = "exporting " + std::to_string(done) + "/" + std::to_string(total);
        width_ = std::max(width_, line.size());
        std::fputs(("\r" + line).c_str(), stderr);
        std::fflush(stderr);
    }

    // Clears the line, so that what follows starts on an empty one.
    void clear() {
        if (width_ == 0) return;
        std::fputs(("\r" + std::string(width_, ' ') + "\r").c_str(), stderr);
        width_ = 0;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool terminal_;
    Clock::time_point start_, shownAt_;
    std::size_t width_ = 0;
};

// The record of `folder`, its skipped lines told on stderr; nothing when it cannot be read (told
// too) or, with `required`, when the folder has none.
std::optional<std::optional<samples::SampleRecord>> readRecord(const fs::path& folder, bool required) {
    const std::string recordPath = base::utf8FromPath(folder / base::pathFromUtf8(base::kSampleRecordFile));
    base::Result<std::optional<samples::SampleRecord>> record = samples::readSampleRecord(folder);
    if (!record) {
        errorLine(recordPath + ": " + record.error());
        return {};
    }
    if (!*record) {
        // Given the working folder instead of the save folder in it: say so.
        std::string hint;
        std::error_code error;
        const fs::path inside = folder / base::pathFromUtf8(base::kSaveFolder);
        if (fs::is_directory(inside, error))
            hint = " (is the save folder " + base::utf8FromPath(inside) + "?)";
        const std::string none =
            base::utf8FromPath(folder) + " has no " + std::string(base::kSampleRecordFile);
        if (required) {
            errorLine(none + ", so nothing to export" + hint);
            return {};
        }
        if (!hint.empty()) errorLine(none + hint);
    }
    if (*record)
        for (const samples::RecordProblem& problem : (*record)->problems)
            errorLine(recordPath + ":" + std::to_string(problem.line) + ": " + problem.reason + ", skipped");
    return std::move(*record);
}

int summary(const samples::CommandLine& command) {
    const fs::path folder = base::pathFromUtf8(command.folder);
    const base::Result<std::vector<std::string>> files = samples::listFiles(folder);
    if (!files) {
        errorLine(command.folder + ": " + files.error());
        return 1;
    }
    const std::optional<std::optional<samples::SampleRecord>> record = readRecord(folder, false);
    if (!record) return 1;
    const std::string recordPath = base::utf8FromPath(folder / base::pathFromUtf8(base::kSampleRecordFile));
    std::fputs(
        samples::formatSummary(samples::summarizeFolder(*record, *files), command.folder, recordPath).c_str(),
        stdout);
    return 0;
}

int exportFolder(const samples::CommandLine& command) {
    const fs::path folder = base::pathFromUtf8(command.folder);
    if (const base::Result<std::vector<std::string>> files = samples::listFiles(folder); !files) {
        errorLine(command.folder + ": " + files.error());
        return 1;
    }
    const std::optional<std::optional<samples::SampleRecord>> record = readRecord(folder, true);
    if (!record) return 1;

    ProgressLine progress;
    const base::Result<samples::ExportReport> report =
        samples::exportSamples(**record, folder, base::pathFromUtf8(command.out), command.options,
                               [&progress](std::size_t done, std::size_t total) { progress(done, total); });
    progress.clear();
    if (!report) {
        errorLine(report.error());
        return 1;
    }
    for (const samples::SkippedSample& skipped : report->skipped)
        errorLine(skipped.file + ": " + skipped.reason + ", skipped");
    for (const std::string& warning : report->warnings) errorLine("warning: " + warning);
    std::fputs((samples::exportSummaryLine(*report, command.out) + "\n").c_str(), stdout);
    return 0;
}

int run(const std::vector<std::string>& words) {
    const std::vector<std::string_view> arguments(words.begin(), words.end());
    const samples::CommandLine command = samples::parseCommandLine(arguments);
    switch (command.action) {
        case samples::CommandLine::Action::ShowHelp:
            std::fputs(samples::helpText().c_str(), stdout);
            return 0;
        case samples::CommandLine::Action::ShowVersion:
            std::fputs((samples::versionText(NUKITORI_VERSION) + "\n").c_str(), stdout);
            return 0;
        case samples::CommandLine::Action::Misuse:
            errorLine(command.problem);
            std::fputs((std::string(samples::kUsage) + "\nTry 'nukitori-samples --help'.\n").c_str(), stderr);
            return 2;
        case samples::CommandLine::Action::Summary:
            return summary(command);
        case samples::CommandLine::Action::Export:
            return exportFolder(command);
    }
    return 2;
}

}  // namespace

#ifdef _WIN32
// The wide entry point: narrow arguments are in the ANSI code page, which cannot hold every name.
int wmain(int argc, wchar_t** argv) {
    // What is printed is UTF-8; a console shows it as such only when told so.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.push_back(base::toUtf8(argv[i]));
    return run(words);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
