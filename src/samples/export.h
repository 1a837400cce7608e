#pragma once
// A save folder's live samples as a training set for object detectors, in one of three layouts:
//   opencv  info.dat and bg.txt (opencv_createsamples -info, opencv_traincascade -bg), and with
//           a size, samples.vec (opencv_traincascade -vec)
//   yolo    images/, labels/ and data.yaml, as Ultralytics YOLO reads them
//   coco    images/ and annotations.json (COCO object detection)
// Every layout copies the images into images/. Only the files an export writes are created or
// replaced in the output folder; nothing outside it is written.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "samples/sample_record.h"

namespace samples {

enum class ExportFormat { OpenCv, Yolo, Coco };

// The format named `name` ("opencv", "yolo", "coco"), or nothing.
std::optional<ExportFormat> exportFormatNamed(std::string_view name);

// The largest side of a .vec sample.
inline constexpr int kMaxVecSide = 1024;

struct VecSize {
    int width = 0;
    int height = 0;
};

struct ExportOptions {
    ExportFormat format = ExportFormat::OpenCv;
    std::string className = "object";  // YOLO's and COCO's one class
    std::optional<VecSize> vec;        // opencv only: also write samples.vec
};

// Why a live sample was left out.
enum class SkipCause {
    Missing,       // its file is not in the save folder
    Unreadable,    // the file could not be read
    NotSnapshot,   // not the 24-bit BMP nukitori writes
    OtherSize,     // the file's size is not the one its record gives
    NameUnusable,  // the format's files cannot name it
};

// "missing", "unreadable", ...: the words of the export's last line.
std::string_view skipCauseName(SkipCause cause);

struct SkippedSample {
    std::string file;
    SkipCause cause = SkipCause::Missing;
    std::string reason;  // the details, for the line about this file
};

struct ExportReport {
    std::size_t exported = 0;   // samples written, the negatives included
    std::size_t negatives = 0;  // of them, those without the object
    std::vector<SkippedSample> skipped;
    // What the user should know of the output folder (a file there that this export did not
    // write but a training would read), each one line.
    std::vector<std::string> warnings;
};

// Called after each sample with the number done and the number of live samples.
using ExportProgress = std::function<void(std::size_t done, std::size_t total)>;

// Writes the live samples of `record`, the record of the save folder `folder`, into `out`
// (created when missing). Fails, with the reason, when the output cannot be written.
base::Result<ExportReport> exportSamples(const SampleRecord& record, const std::filesystem::path& folder,
                                         const std::filesystem::path& out, const ExportOptions& options,
                                         const ExportProgress& progress = {});

// The export's last line: how many samples were exported, how many negatives, how many were
// skipped and why.
std::string exportSummaryLine(const ExportReport& report, std::string_view out);

}  // namespace samples
