#include "samples/export.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <span>
#include <system_error>

#include "base/file_bytes.h"
#include "base/image.h"
#include "base/safe_file.h"
#include "capture/bmp_snapshot.h"
#include "samples/save_folder.h"
#include "samples/vec_file.h"

namespace samples {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// The largest file a sample may be: a BMP of base::kMaxPixels, whose padded rows take at most
// four bytes a pixel.
constexpr std::uint64_t kMaxSampleBytes = capture::kBmpHeaderSize + 4 * base::kMaxPixels;

// At most this many warnings about one folder's strangers; then how many more there are.
constexpr std::size_t kStrangersShown = 10;

std::string shownPath(const fs::path& path) {
    return base::utf8FromPath(path);
}

base::Status writeText(const fs::path& path, const std::string& text) {
    const base::Status written = base::writeFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), base::Durability::Batch);
    if (!written) return base::Failure{shownPath(path) + ": " + written.error()};
    return base::Done{};
}

// A folder of the output that holds files of the export: made when missing, and never a link,
// which would take the files out of the output folder.
base::Status prepareFolder(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (fs::is_symlink(status))
        return base::Failure{shownPath(path) + ": a symbolic link; the export writes only inside its folder"};
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) return base::Failure{shownPath(path) + ": not a folder"};
        return base::Done{};
    }
    if (!fs::create_directory(path, error) && error)
        return base::Failure{shownPath(path) + ": cannot be created: " + error.message()};
    return base::Done{};
}

// A file name without its last extension ("cut0.bmp" gives "cut0").
std::string stemOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// info.dat is split at white space (fscanf's %s), and bg.txt skips lines that open with '#'.
bool openCvCanName(const std::string& name) {
    if (name.empty() || name[0] == '#') return false;
    return name.find_first_of(" \t\r\n\v\f") == std::string::npos;
}

std::string sixDecimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// A YAML flow scalar for the class name: plain when that reads back as the same string, else
// single-quoted.
std::string yamlScalar(const std::string& text) {
    bool plain = !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    for (const char c : text)
        plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '-');
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    // YAML 1.1 (PyYAML) reads these as booleans or null.
    for (const char* word : {"y", "n", "yes", "no", "on", "off", "true", "false", "null"})
        if (lower == word) plain = false;
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

// A polygon coordinate: whole numbers as integers, others as they are.
Json coordinate(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e9) return static_cast<std::int64_t>(value);
    return value;
}

// `"name": [` and the array's elements, one a line: a large file stays readable and diffable.
std::string jsonArrayMember(std::string_view name, const Json& array) {
    std::string text = "\"" + std::string(name) + "\": [";
    for (std::size_t i = 0; i < array.size(); ++i)
        text += (i == 0 ? "\n" : ",\n") + array[i].dump(-1, ' ', false, Json::error_handler_t::replace);
    return text + (array.empty() ? "]" : "\n]");
}

// The files in `folder` that this export did not write, as warnings of why they matter.
void warnOfStrangers(const fs::path& folder, const std::set<std::string, std::less<>>& written,
                     std::string_view why, std::vector<std::string>& warnings) {
    const base::Result<std::vector<std::string>> files = listFiles(folder);
    if (!files) return;
    std::size_t strangers = 0;
    for (const std::string& name : *files) {
        if (written.contains(name)) continue;
        if (++strangers <= kStrangersShown)
            warnings.push_back(shownPath(folder / base::pathFromUtf8(name)) +
                               ": not written by this export, " + std::string(why));
    }
    if (strangers > kStrangersShown)
        warnings.push_back("and " + std::to_string(strangers - kStrangersShown) + " more files in " +
                           shownPath(folder) + " that this export did not write");
}

class Exporter {
public:
    Exporter(const fs::path& folder, const fs::path& out, const ExportOptions& options)
        : folder_(folder), out_(out), images_(out / "images"), labels_(out / "labels"), options_(options) {}

    base::Status prepare() {
        std::error_code error;
        fs::create_directories(out_, error);
        if (error) return base::Failure{shownPath(out_) + ": cannot be created: " + error.message()};
        if (!fs::is_directory(out_, error)) return base::Failure{shownPath(out_) + ": not a folder"};
        if (const base::Status made = prepareFolder(images_); !made) return made.failure();
        if (options_.format == ExportFormat::Yolo)
            if (const base::Status made = prepareFolder(labels_); !made) return made.failure();
        return base::Done{};
    }

    // Writes one sample's files, or tells why it was skipped; fails only when the output cannot
    // be written.
    base::Status add(const Sample& sample) {
        const std::string& name = sample.file;
        if (options_.format == ExportFormat::OpenCv && !openCvCanName(name))
            return skip(sample, SkipCause::NameUnusable,
                        "info.dat and bg.txt cannot hold a name with white space or a leading '#'");
        const std::string label = stemOf(name) + ".txt";
        if (options_.format == ExportFormat::Yolo && labelsWritten_.contains(label))
            return skip(sample, SkipCause::NameUnusable,
                        "its label file labels/" + label + " is another sample's");

        const fs::path source = folder_ / base::pathFromUtf8(name);
        const base::Result<std::vector<std::uint8_t>> bytes =
            base::readFileBytes(shownPath(source), kMaxSampleBytes, "larger than any picture nukitori saves");
        if (!bytes) {
            std::error_code error;
            if (!fs::exists(fs::symlink_status(source, error)))
                return skip(sample, SkipCause::Missing, "no such file in " + shownPath(folder_));
            return skip(sample, SkipCause::Unreadable, bytes.error());
        }
        const base::Result<capture::BmpSnapshotSize> size = capture::bmpSnapshotSize(*bytes);
        if (!size) return skip(sample, SkipCause::NotSnapshot, size.error());
        if (size->width != sample.width || size->height != sample.height)
            return skip(sample, SkipCause::OtherSize,
                        "the file is " + std::to_string(size->width) + " x " + std::to_string(size->height) +
                            " pixels, its record (line " + std::to_string(sample.line) + ") says " +
                            std::to_string(sample.width) + " x " + std::to_string(sample.height));

        const fs::path target = images_ / base::pathFromUtf8(name);
        if (const base::Status copied = base::writeFileAtomically(target, *bytes, base::Durability::Batch); !copied)
            return base::Failure{shownPath(target) + ": " + copied.error()};
        imagesWritten_.insert(name);
        ++report_.exported;
        if (!sample.objectBox) ++report_.negatives;

        switch (options_.format) {
            case ExportFormat::OpenCv:
                addOpenCv(sample, *bytes);
                break;
            case ExportFormat::Yolo:
                return addYolo(sample, label);
            case ExportFormat::Coco:
                addCoco(sample);
                break;
        }
        return base::Done{};
    }

    // The files that list the samples, and the warnings about what else is in the output.
    base::Result<ExportReport> finish() {
        switch (options_.format) {
            case ExportFormat::OpenCv: {
                if (const base::Status s = writeText(out_ / "info.dat", info_); !s) return s.failure();
                if (const base::Status s = writeText(out_ / "bg.txt", background_); !s) return s.failure();
                const fs::path vec = out_ / "samples.vec";
                if (options_.vec) {
                    const std::vector<std::uint8_t> bytes =
                        encodeVecFile(vecSamples_, options_.vec->width, options_.vec->height);
                    if (const base::Status s = base::writeFileAtomically(vec, bytes, base::Durability::Batch); !s)
                        return base::Failure{shownPath(vec) + ": " + s.error()};
                } else {
                    std::error_code error;
                    if (fs::exists(fs::symlink_status(vec, error)))
                        report_.warnings.push_back(
                            shownPath(vec) +
                            ": not written by this export (no --vec), so not of these samples");
                }
                break;
            }
            case ExportFormat::Yolo: {
                const std::string yaml = "path: .\ntrain: images\nval: images\nnc: 1\nnames: [" +
                                         yamlScalar(options_.className) + "]\n";
                if (const base::Status s = writeText(out_ / "data.yaml", yaml); !s) return s.failure();
                warnOfStrangers(images_, imagesWritten_, "but YOLO trains on every image in images/",
                                report_.warnings);
                warnOfStrangers(labels_, labelsWritten_, "but YOLO reads every label in labels/",
                                report_.warnings);
                break;
            }
            case ExportFormat::Coco: {
                const Json categories = Json::array({Json{{"id", 1}, {"name", options_.className}}});
                const std::string text = "{\n" + jsonArrayMember("images", cocoImages_) + ",\n" +
                                         jsonArrayMember("annotations", cocoAnnotations_) + ",\n" +
                                         jsonArrayMember("categories", categories) + "\n}\n";
                if (const base::Status s = writeText(out_ / "annotations.json", text); !s) return s.failure();
                break;
            }
        }
        return std::move(report_);
    }

private:
    base::Status skip(const Sample& sample, SkipCause cause, std::string reason) {
        report_.skipped.push_back({sample.file, cause, std::move(reason)});
        return base::Done{};
    }

    void addOpenCv(const Sample& sample, const std::vector<std::uint8_t>& bytes) {
        if (!sample.objectBox) {
            background_ += "images/" + sample.file + "\n";
            return;
        }
        const Box& box = *sample.objectBox;
        info_ += "images/" + sample.file + " 1 " + std::to_string(box.x) + " " + std::to_string(box.y) + " " +
                 std::to_string(box.width) + " " + std::to_string(box.height) + "\n";
        if (options_.vec) {
            // Checked by bmpSnapshotSize already: decoding cannot fail.
            const base::Result<base::Image> picture = capture::decodeBmpSnapshot(bytes);
            if (picture)
                vecSamples_.push_back(greySample(*picture, box, options_.vec->width, options_.vec->height));
        }
    }

    base::Status addYolo(const Sample& sample, const std::string& label) {
        std::string text;
        if (sample.objectBox) {
            const Box& box = *sample.objectBox;
            const double w = sample.width, h = sample.height;
            text = "0 " + sixDecimals((box.x + box.width / 2.0) / w) + " " +
                   sixDecimals((box.y + box.height / 2.0) / h) + " " + sixDecimals(box.width / w) + " " +
                   sixDecimals(box.height / h) + "\n";
        }
        if (const base::Status s = writeText(labels_ / base::pathFromUtf8(label), text); !s)
            return s.failure();
        labelsWritten_.insert(label);
        return base::Done{};
    }

    void addCoco(const Sample& sample) {
        const std::size_t imageId = cocoImages_.size() + 1;
        cocoImages_.push_back(Json{
            {"id", imageId}, {"file_name", sample.file}, {"width", sample.width}, {"height", sample.height}});
        if (!sample.objectBox) return;
        const Box& box = *sample.objectBox;
        Json outline = Json::array();
        if (sample.objectPolygon.size() >= 3) {
            for (const PolygonPoint& p : sample.objectPolygon) {
                outline.push_back(coordinate(p.x));
                outline.push_back(coordinate(p.y));
            }
        } else {  // no outline given: the box's corners
            const int right = box.x + box.width, bottom = box.y + box.height;
            outline = Json::array({box.x, box.y, right, box.y, right, bottom, box.x, bottom});
        }
        cocoAnnotations_.push_back(Json{{"id", cocoAnnotations_.size() + 1},
                                        {"image_id", imageId},
                                        {"category_id", 1},
                                        {"bbox", Json::array({box.x, box.y, box.width, box.height})},
                                        {"area", static_cast<std::int64_t>(box.width) * box.height},
                                        {"iscrowd", 0},
                                        {"segmentation", Json::array({std::move(outline)})}});
    }

    fs::path folder_, out_, images_, labels_;
    const ExportOptions& options_;
    ExportReport report_;
    std::set<std::string, std::less<>> imagesWritten_, labelsWritten_;
    std::string info_, background_;
    std::vector<std::vector<std::uint8_t>> vecSamples_;
    Json cocoImages_ = Json::array(), cocoAnnotations_ = Json::array();
};

}  // namespace

std::optional<ExportFormat> exportFormatNamed(std::string_view name) {
    if (name == "opencv") return ExportFormat::OpenCv;
    if (name == "yolo") return ExportFormat::Yolo;
    if (name == "coco") return ExportFormat::Coco;
    return {};
}

std::string_view skipCauseName(SkipCause cause) {
    switch (cause) {
        case SkipCause::Missing:
            return "missing";
        case SkipCause::Unreadable:
            return "unreadable";
        case SkipCause::NotSnapshot:
            return "not a nukitori BMP";
        case SkipCause::OtherSize:
            return "of another size than recorded";
        case SkipCause::NameUnusable:
            return "a name the format cannot hold";
    }
    return "skipped";
}

base::Result<ExportReport> exportSamples(const SampleRecord& record, const fs::path& folder,
                                         const fs::path& out, const ExportOptions& options,
                                         const ExportProgress& progress) {
    Exporter exporter(folder, out, options);
    if (const base::Status prepared = exporter.prepare(); !prepared) return prepared.failure();
    for (std::size_t i = 0; i < record.live.size(); ++i) {
        if (const base::Status added = exporter.add(record.live[i]); !added) return added.failure();
        if (progress) progress(i + 1, record.live.size());
    }
    auto report = exporter.finish();
    // The files waited for nothing one by one: they are on the disk before the export says so.
    base::syncFileSystem(out);
    return report;
}

std::string exportSummaryLine(const ExportReport& report, std::string_view out) {
    std::string line = "exported " + std::to_string(report.exported) + " samples (" +
                       std::to_string(report.negatives) + " negative) to " + std::string(out) + "; skipped " +
                       std::to_string(report.skipped.size());
    // The causes in the order of the enumeration, each with its count.
    for (int cause = 0, listed = 0; cause <= static_cast<int>(SkipCause::NameUnusable); ++cause) {
        std::size_t count = 0;
        for (const SkippedSample& s : report.skipped) count += static_cast<int>(s.cause) == cause ? 1 : 0;
        if (count == 0) continue;
        line += (listed++ == 0 ? ": " : ", ") + std::to_string(count) + " " +
                std::string(skipCauseName(static_cast<SkipCause>(cause)));
    }
    return line;
}

}  // namespace samples
