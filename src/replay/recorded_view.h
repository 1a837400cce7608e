#pragma once
// A capture's record line read back as the view it was cut from, and the record's live
// captures: those no later line takes back.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/matrix.h"
#include "base/result.h"
#include "state/view_state.h"

namespace replay {

struct RecordedCapture {
    std::size_t lineNumber = 0;  // 1-based, in the record
    std::string file, prefix;
    int number = 0;
    std::string modelPath;  // as recorded: relative to the recorded working folder, or absolute
    std::string modelSha256, textureSha256, overlayPictureSha256;  // empty when recorded as null
    state::ViewState view;
    base::Matrix world, viewMatrix, projection;
    std::optional<std::string> savedLine;
    std::optional<std::string> problemLine;
};

// The capture in one record line, or why it cannot be replayed.
base::Result<RecordedCapture> readCaptureLine(std::string_view line, std::size_t lineNumber);

struct RecordReading {
    std::vector<RecordedCapture> captures;                 // live, in the record's order
    std::vector<std::pair<std::size_t, std::string>> bad;  // line number and reason
};

// Every live capture of `text` (a whole record); grabs, take-backs and blank lines say nothing,
// a line that cannot be read is listed in `bad`.
RecordReading readRecord(std::string_view text);

}  // namespace replay
