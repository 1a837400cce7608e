#pragma once
// The record of every numbered file, "nukitori-samples.jsonl" in the save folder: one JSON
// object per line, appended after the file is in place, so a trainer or a later replay knows how
// each sample was made and which were taken back. Keys and units are listed in the README.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/matrix.h"
#include "base/result.h"
#include "capture/numbered_snapshot.h"
#include "state/view_state.h"

namespace capture {

// What a capture adds to its line: the view it was cut from, enough to make it again.
struct CaptureView {
    std::string modelPath;
    std::string modelSha256;                      // empty when the model file could not be read
    std::string textureSha256;                    // of the grab texture the model wore; empty: it wore none
    std::string overlayPictureSha256;             // empty when the overlay has no picture
    base::Matrix world, view, projection;         // as the device got them for the frame on the screen
    std::optional<std::array<int, 4>> objectBox;  // in the sample's pixels; nothing: not in it
    std::vector<std::array<double, 2>> objectPolygon;
    std::optional<std::string> savedLine;  // the line of the last save the frame showed, if any
    std::optional<std::string> problemLine;  // the problem line it showed, if any
};

// "2026-12-09T17:50:01.123Z".
std::string utcTime(std::chrono::system_clock::time_point when);

// The line of a saved file, without its line feed. A capture's line holds `capture` and the
// values of `view`; a grab's line holds its hole, and the whole sample is its object.
// `extra`: more members, already JSON (`"key":value,...`), put at the line's end.
std::string sampleLine(const SavedSample& sample, const CaptureView* capture, const state::ViewState& view,
                       std::string_view time, std::string_view program, std::string_view extra = {});
// The line that takes the save of `file` back.
std::string removalLine(std::string_view file, std::string_view time);

// Appends `line` and its line feed to the record in the save folder, in one write.
base::Status appendToRecord(std::string_view line);

// Deletes the file of `sample` if it is still the one saved (same stamp). Fails, naming the
// file, when it changed or went since, and leaves it alone.
base::Status takeBack(const SavedSample& sample);

}  // namespace capture
