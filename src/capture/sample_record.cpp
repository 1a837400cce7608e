#include "capture/sample_record.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>
#include <type_traits>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/os/os_file.h"

namespace capture {
namespace {

using Json = nlohmann::json;

// A line is written straight into its text: a save is made many times a second while keypad −
// is held, and a tree of values built only to be printed would cost more than the save's file.
// Keys come out in the order written; floats in the shortest form that reads back as the same
// float.
class LineWriter {
public:
    LineWriter() { text_ += '{'; }

    LineWriter& key(std::string_view name) {
        separate();
        quoted(name);
        text_ += ':';
        fresh_ = true;
        return *this;
    }
    LineWriter& string(std::string_view value) {
        separate();
        quoted(value);
        return *this;
    }
    LineWriter& stringOrNull(std::string_view value) { return value.empty() ? null() : string(value); }
    LineWriter& null() {
        separate();
        text_ += "null";
        return *this;
    }
    template <class Number>
    LineWriter& number(Number value) {
        separate();
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        if constexpr (std::is_floating_point_v<Number>) {
            if (!std::isfinite(value)) {
                text_ += "null";  // JSON has no infinity
                return *this;
            }
            text_.append(digits, end);
            if (std::find_if(digits, end, [](char c) { return c == '.' || c == 'e'; }) == end) text_ += ".0";
        } else {
            text_.append(digits, end);
        }
        return *this;
    }
    template <class... Numbers>
    LineWriter& numbers(Numbers... values) {
        begin('[');
        (number(values), ...);
        return end(']');
    }
    LineWriter& matrix(const base::Matrix& m) {
        begin('[');
        for (const auto& row : m.m)
            for (const float value : row) number(value);
        return end(']');
    }
    LineWriter& vec3(const base::Vec3& v) { return numbers(v.x, v.y, v.z); }
    LineWriter& begin(char bracket) {
        separate();
        text_ += bracket;
        fresh_ = true;
        return *this;
    }
    LineWriter& end(char bracket) {
        text_ += bracket;
        fresh_ = false;
        return *this;
    }
    std::string finish(std::string_view extra = {}) {
        if (!extra.empty()) {
            text_ += ',';
            text_ += extra;
        }
        text_ += '}';
        return std::move(text_);
    }

private:
    // The library's escaping, with replacement characters for broken UTF-8.
    void quoted(std::string_view value) {
        text_ += Json(std::string(value)).dump(-1, ' ', false, Json::error_handler_t::replace);
    }

    // A comma before every value or key but the first in its object or array, and none after a key.
    void separate() {
        if (!fresh_) text_ += ',';
        fresh_ = false;
    }

    std::string text_;
    bool fresh_ = true;
};

std::string savePath(std::string_view file) {
    std::string path(base::kSaveFolder);
    path += '/';
    path += file;
    return path;
}

}  // namespace

std::string utcTime(std::chrono::system_clock::time_point when) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(milliseconds % 1000));
    return text;
}

std::string sampleLine(const SavedSample& sample, const CaptureView* capture, const state::ViewState& view,
                       std::string_view time, std::string_view program, std::string_view extra) {
    LineWriter line;
    line.key("file").string(sample.file);
    line.key("kind").string(sample.kind == SampleKind::Capture ? "capture" : "grab");
    line.key("prefix").string(sample.prefix);
    line.key("number").number(sample.number);
    line.key("time").string(time);
    line.key("width").number(sample.width);
    line.key("height").number(sample.height);
    const auto& screen = sample.screen;
    line.key("screen").numbers(screen.x, screen.y, screen.width, screen.height);
    line.key("program").string(program);
    if (sample.kind == SampleKind::Grab || !capture) {
        // A grab saves the frame's hole: the framed picture fills the sample.
        line.key("hole").numbers(screen.x, screen.y, screen.width, screen.height);
        line.key("object_box").numbers(0, 0, sample.width, sample.height);
        line.key("object_polygon").begin('[');
        line.numbers(0, 0)
            .numbers(sample.width, 0)
            .numbers(sample.width, sample.height)
            .numbers(0, sample.height);
        line.end(']');
        return line.finish(extra);
    }
    line.key("model").begin('{');
    line.key("path").string(capture->modelPath).key("sha256").stringOrNull(capture->modelSha256);
    line.end('}');
    line.key("texture").stringOrNull(capture->textureSha256);
    line.key("overlay_picture").stringOrNull(capture->overlayPictureSha256);
    line.key("model_position").vec3(view.modelPosition);
    line.key("model_rotation").vec3(view.modelRotation);
    line.key("eye_position").vec3(view.eyePosition);
    line.key("yaw").number(view.yaw);
    line.key("lookHeight").number(view.lookHeight);
    line.key("ambient").numbers(view.ambientRed, view.ambientGreen, view.ambientBlue);
    line.key("overlay").begin('{');
    line.key("rect").numbers(view.overlayX, view.overlayY, view.overlayWidth, view.overlayHeight);
    line.key("colour").numbers(view.overlayRed, view.overlayGreen, view.overlayBlue);
    line.key("alpha").number(view.overlayAlpha);
    line.end('}');
    line.key("world").matrix(capture->world);
    line.key("view").matrix(capture->view);
    line.key("projection").matrix(capture->projection);
    if (capture->objectBox) {
        const auto& box = *capture->objectBox;
        line.key("object_box").numbers(box[0], box[1], box[2], box[3]);
    } else {
        line.key("object_box").null();
    }
    line.key("object_polygon").begin('[');
    for (const auto& point : capture->objectPolygon) line.numbers(point[0], point[1]);
    line.end(']');
    line.key("saved_line");
    if (capture->savedLine)
        line.string(*capture->savedLine);
    else
        line.null();
    if (capture->problemLine) line.key("problem_line").string(*capture->problemLine);
    return line.finish(extra);
}

std::string removalLine(std::string_view file, std::string_view time) {
    const Json line = {{"removed", file}, {"time", time}};
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

base::Status appendToRecord(std::string_view line) {
    std::string bytes;
    bytes += line;
    bytes += '\n';
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    const base::Status appended =
        base::appendToFile(base::pathFromUtf8(savePath(base::kSampleRecordFile)), data);
    if (!appended) return base::Failure{savePath(base::kSampleRecordFile) + ": " + appended.error()};
    return base::Done{};
}

base::Status takeBack(const SavedSample& sample) {
    const std::string path = savePath(sample.file);
    const base::FileStamp now = base::fileStamp(path);
    if (!now.exists) return base::Failure{path + " is no longer there"};
    if (!(now == sample.stamp)) return base::Failure{path + " was changed after it was saved"};
    std::error_code ec;
    if (!std::filesystem::remove(base::pathFromUtf8(path), ec) || ec)
        return base::Failure{path + " cannot be removed: " + (ec ? ec.message() : "it is gone")};
    return base::Done{};
}

}  // namespace capture
