#include "samples/save_folder.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "base/file_bytes.h"

namespace samples {
namespace {

// At most this many names of a list are shown, then how many more there are.
constexpr std::size_t kNamesShown = 10;

std::string countAndNames(const std::vector<std::string>& names) {
    std::string out = std::to_string(names.size());
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i)
        out += (i == 0 ? ": " : ", ") + names[i];
    if (names.size() > kNamesShown) out += " and " + std::to_string(names.size() - kNamesShown) + " more";
    return out;
}

}  // namespace

base::Result<std::vector<std::string>> listFiles(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found) return base::Failure{"no such folder"};
    if (error) return base::Failure{error.message()};
    if (!fs::is_directory(status)) return base::Failure{"not a folder"};
    std::vector<std::string> names;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored)) names.push_back(base::utf8FromPath(it->path().filename()));
    }
    if (error) return base::Failure{"its files cannot be listed: " + error.message()};
    std::sort(names.begin(), names.end());
    return names;
}

bool isBmpName(std::string_view name) {
    if (name.size() < 4) return false;
    std::string end(name.substr(name.size() - 4));
    for (char& c : end)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return end == ".bmp";
}

FolderSummary summarizeFolder(const std::optional<SampleRecord>& record,
                              const std::vector<std::string>& files) {
    FolderSummary summary;
    const std::set<std::string, std::less<>> present(files.begin(), files.end());
    std::set<std::string, std::less<>> named;
    if (record) {
        summary.recordFound = true;
        summary.recordLines = record->lines;
        summary.skippedLines = record->problems.size();
        summary.saveRecords = record->saveLines;
        summary.removed = record->removed;
        summary.superseded = record->superseded;
        summary.live = record->live.size();
        for (const Sample& sample : record->live) {
            named.insert(sample.file);
            if (!sample.objectBox) ++summary.negatives;
            if (!present.contains(sample.file)) summary.missing.push_back(sample.file);
        }
    }
    for (const std::string& name : files) {
        if (!isBmpName(name)) continue;
        ++summary.bmpFiles;
        if (!named.contains(name)) summary.unrecorded.push_back(name);
    }
    return summary;
}

std::string formatSummary(const FolderSummary& summary, std::string_view folder,
                          std::string_view recordPath) {
    std::string out = "folder: " + std::string(folder) + '\n';
    if (summary.recordFound) {
        out += "record: " + std::string(recordPath) + ", " + std::to_string(summary.recordLines) + " lines";
        if (summary.skippedLines > 0) out += " (" + std::to_string(summary.skippedLines) + " skipped)";
        out += '\n';
    } else {
        out += "record: none (no " + std::string(recordPath) + ")\n";
    }
    out += "BMP files: " + std::to_string(summary.bmpFiles) + '\n';
    out += "save records: " + std::to_string(summary.saveRecords) + '\n';
    out += "removed: " + std::to_string(summary.removed) + '\n';
    if (summary.superseded > 0)
        out += "saved again without a removal: " + std::to_string(summary.superseded) +
               " (the latest line counts)\n";
    out += "live samples: " + std::to_string(summary.live) + " (" +
           std::to_string(summary.live - summary.negatives) + " with the object, " +
           std::to_string(summary.negatives) + " negative)\n";
    out += "missing: " + countAndNames(summary.missing) + '\n';
    out += "files without a record: " + countAndNames(summary.unrecorded) + '\n';
    return out;
}

}  // namespace samples
