#include "samples/command_line.h"

#include <charconv>
#include <optional>
#include <system_error>
#include <utility>

#include "base/file_names.h"
#include "base/utf8.h"

namespace samples {
namespace {

CommandLine misuse(std::string problem) {
    CommandLine result;
    result.action = CommandLine::Action::Misuse;
    result.problem = std::move(problem);
    return result;
}

std::optional<int> sideOf(std::string_view word) {
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 1 || value > kMaxVecSide)
        return {};
    return value;
}

bool usableClassName(std::string_view name) {
    if (name.empty() || !base::isValidUtf8(name)) return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return true;
}

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> arguments) {
    CommandLine result;
    bool help = false, version = false, exporting = false, endOfOptions = false;
    bool formatSeen = false, outSeen = false, classSeen = false;
    std::size_t folders = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view word = arguments[i];
        if (endOfOptions || !word.starts_with("-") || word == "-") {
            if (!exporting && folders == 0 && word == "export" && !endOfOptions && i == 0) {
                exporting = true;
                continue;
            }
            if (++folders > 1) return misuse("unexpected argument " + std::string(word));
            result.folder = word;
            continue;
        }
        if (word == "--") {
            endOfOptions = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            help = true;
            continue;
        }
        if (word == "--version") {
            version = true;
            continue;
        }
        // The options of export, each with its value after it or after '='.
        const std::size_t equals = word.find('=');
        const std::string_view option = word.substr(0, equals);
        if (option != "--format" && option != "--out" && option != "--class" && option != "--vec")
            return misuse("unknown option " + std::string(word));
        if (!exporting) return misuse(std::string(option) + " is an option of nukitori-samples export");
        std::optional<std::string_view> value;
        if (equals != std::string_view::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (!value || value->empty()) return misuse(std::string(option) + " needs a value");
        if (option == "--format") {
            if (std::exchange(formatSeen, true)) return misuse("--format given twice");
            const std::optional<ExportFormat> format = exportFormatNamed(*value);
            if (!format) return misuse("unknown format " + std::string(*value) + " (opencv, yolo or coco)");
            result.options.format = *format;
        } else if (option == "--out") {
            if (std::exchange(outSeen, true)) return misuse("--out given twice");
            result.out = *value;
        } else if (option == "--class") {
            if (std::exchange(classSeen, true)) return misuse("--class given twice");
            if (!usableClassName(*value)) return misuse("--class needs a name of printable UTF-8 text");
            result.options.className = *value;
        } else {
            if (result.options.vec) return misuse("--vec given twice");
            if (equals != std::string_view::npos || i + 1 >= arguments.size())
                return misuse("--vec needs a width and a height");
            const std::optional<int> width = sideOf(*value), height = sideOf(arguments[++i]);
            if (!width || !height)
                return misuse("--vec needs a width and a height from 1 to " + std::to_string(kMaxVecSide));
            result.options.vec = VecSize{*width, *height};
        }
    }
    if (exporting && result.options.vec && result.options.format != ExportFormat::OpenCv && formatSeen)
        return misuse("--vec is an option of --format opencv");
    if (help) {
        result.action = CommandLine::Action::ShowHelp;
        return result;
    }
    if (version) {
        result.action = CommandLine::Action::ShowVersion;
        return result;
    }
    if (folders == 0)
        return misuse("no FOLDER given (the save folder " + std::string(base::kSaveFolder) + ")");
    if (exporting) {
        if (!formatSeen) return misuse("export needs --format opencv, yolo or coco");
        if (!outSeen) return misuse("export needs --out DIR");
        result.action = CommandLine::Action::Export;
    }
    return result;
}

std::string helpText() {
    return std::string(kUsage) +
           "\n\n"
           "nukitori-samples reads the record that nukitori keeps in its save folder FOLDER\n"
           "(" +
           std::string(base::kSaveFolder) + "/" + std::string(base::kSampleRecordFile) +
           ") and turns the saved\n"
           "samples into training sets for object detectors.\n"
           "\n"
           "nukitori-samples FOLDER\n"
           "  Prints what the save folder FOLDER holds: its BMP files, the save records, the\n"
           "  saves taken back (removed), the live records whose file is missing and the BMP\n"
           "  files without a record.\n"
           "\n"
           "nukitori-samples export --format FORMAT FOLDER --out DIR [options]\n"
           "  Writes the live samples of FOLDER into DIR (created when missing), the images\n"
           "  copied into DIR/images/. A sample taken back is never exported; a sample whose\n"
           "  file is missing or unusable is named on stderr and skipped. The last line counts\n"
           "  the samples exported, the negatives among them and the skipped ones, and why.\n"
           "  Only the files the export writes are created or replaced in DIR; any other file\n"
           "  there is left as it is, and nothing outside DIR is written.\n"
           "\n"
           "  --format opencv  DIR/info.dat, one line 'images/FILE 1 x y w h' per sample with the\n"
           "                   object (opencv_createsamples -info), and DIR/bg.txt, the negatives\n"
           "                   (opencv_traincascade -bg)\n"
           "  --format yolo    DIR/labels/NAME.txt per image ('0 cx cy w h', normalised; empty for\n"
           "                   a negative) and DIR/data.yaml (path: ., so train from DIR); YOLO\n"
           "                   reads every file in images/ and labels/, so use a DIR of its own\n"
           "  --format coco    DIR/annotations.json (COCO object detection): images,\n"
           "                   annotations with bbox and segmentation, one category\n"
           "  --out DIR        the folder to write\n"
           "  --class NAME     the name of the one class in data.yaml and annotations.json\n"
           "                   (default: object)\n"
           "  --vec W H        with --format opencv: also DIR/samples.vec for\n"
           "                   opencv_traincascade -vec, each object cut out, grey, W x H pixels\n"
           "                   (1 to " +
           std::to_string(kMaxVecSide) +
           ")\n"
           "\n"
           "  --help           show this text and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "Options and FOLDER may come in any order; '--' ends the options. Exit status: 0 done,\n"
           "1 when a folder cannot be read or DIR cannot be written, 2 for a wrong command line.\n";
}

std::string versionText(std::string_view version) {
    return "nukitori-samples " + std::string(version);
}

}  // namespace samples
