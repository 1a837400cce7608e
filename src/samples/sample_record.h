#pragma once
// The record nukitori appends to its save folder (base::kSampleRecordFile): one JSON object a
// line, a save line for every numbered file written and a removal line for every save taken
// back. Read here into the samples still live at its end, with every line it had to skip.
#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace samples {

// A rectangle of a sample's own pixels: origin top-left, x right, y down.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

struct PolygonPoint {
    double x = 0, y = 0;
    friend bool operator==(const PolygonPoint&, const PolygonPoint&) = default;
};

enum class SampleKind { Capture, Grab };

// A save line that no later removal line took back.
struct Sample {
    std::string file;  // a plain file name inside the save folder, UTF-8
    SampleKind kind = SampleKind::Capture;
    int width = 0, height = 0;  // the BMP's size in pixels
    // The framed picture's box within the sample, clipped to it; none for a negative sample.
    std::optional<Box> objectBox;
    // The picture's convex outline, clipped to the sample; empty without a box (and when the
    // line gave none).
    std::vector<PolygonPoint> objectPolygon;
    std::size_t line = 0;  // its line in the record, from 1
};

// A line that was skipped, and why ("not a JSON object").
struct RecordProblem {
    std::size_t line = 0;
    std::string reason;
};

struct SampleRecord {
    std::vector<Sample> live;  // in the order of their save lines
    std::size_t lines = 0;     // complete lines read
    std::size_t saveLines = 0;
    std::size_t removed = 0;  // save lines a removal line took back
    // Save lines of a file that a later save line of the same file hid without a removal between
    // them: the latest one describes the file.
    std::size_t superseded = 0;
    std::vector<RecordProblem> problems;
    bool tornLastLine = false;  // the last line had no line feed: a write in progress, not read
};

// Whether `name` may name a file of the save folder: one plain name, never a path (no
// separator, drive or stream colon, "." or "..", control character or broken UTF-8, and on
// Windows no device name), so that no record reads or writes outside the folders it is given.
bool isPlainFileName(std::string_view name);

// Reads the whole record from `in`. A removal line takes back the latest earlier save line of
// its file; a later save line of that file is live again. The last line without its line feed
// is skipped silently; every other line that cannot be used is a problem, skipped.
SampleRecord parseSampleRecord(std::istream& in);

// The record of the save folder `folder`, or nothing when it has none; a record that is there
// but cannot be read is a failure.
base::Result<std::optional<SampleRecord>> readSampleRecord(const std::filesystem::path& folder);

}  // namespace samples
