#pragma once
// What a save folder holds against what its record says: the counts that nukitori-samples FOLDER
// prints.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "samples/sample_record.h"

namespace samples {

// The names (UTF-8) of the regular files directly in `folder`, sorted.
base::Result<std::vector<std::string>> listFiles(const std::filesystem::path& folder);

// Whether `name` ends in ".bmp", in any case.
bool isBmpName(std::string_view name);

struct FolderSummary {
    bool recordFound = false;
    std::size_t recordLines = 0;
    std::size_t skippedLines = 0;  // lines of the record that could not be used
    std::size_t bmpFiles = 0;
    std::size_t saveRecords = 0;
    std::size_t removed = 0;
    std::size_t superseded = 0;
    std::size_t live = 0;
    std::size_t negatives = 0;            // live samples without the object
    std::vector<std::string> missing;     // live samples whose file is not in the folder
    std::vector<std::string> unrecorded;  // BMP files that no live sample names
};

// `record` is the folder's record, nothing when it has none; `files` are its regular files.
FolderSummary summarizeFolder(const std::optional<SampleRecord>& record,
                              const std::vector<std::string>& files);

// The summary as "key: value" lines, each ended by a line feed; `folder` and `recordPath` are the
// names to show.
std::string formatSummary(const FolderSummary& summary, std::string_view folder, std::string_view recordPath);

}  // namespace samples
