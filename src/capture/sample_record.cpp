#include "capture/sample_record.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/os/os_file.h"

namespace capture {
namespace {

using Json = nlohmann::json;

Json matrixJson(const base::Matrix& m) {
    Json rows = Json::array();
    for (const auto& row : m.m)
        for (const float value : row) rows.push_back(value);
    return rows;
}

Json vec3Json(const base::Vec3& v) {
    return Json::array({v.x, v.y, v.z});
}

Json shaOrNull(const std::string& sha) {
    return sha.empty() ? Json(nullptr) : Json(sha);
}

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
                       std::string_view time, std::string_view program) {
    Json line;
    line["file"] = sample.file;
    line["kind"] = sample.kind == SampleKind::Capture ? "capture" : "grab";
    line["prefix"] = sample.prefix;
    line["number"] = sample.number;
    line["time"] = time;
    line["width"] = sample.width;
    line["height"] = sample.height;
    line["screen"] =
        Json::array({sample.screen.x, sample.screen.y, sample.screen.width, sample.screen.height});
    line["program"] = program;
    if (sample.kind == SampleKind::Grab || !capture) {
        // A grab saves the frame's hole: the framed picture fills the sample.
        line["hole"] = line["screen"];
        line["object_box"] = Json::array({0, 0, sample.width, sample.height});
        line["object_polygon"] =
            Json::array({Json::array({0, 0}), Json::array({sample.width, 0}),
                         Json::array({sample.width, sample.height}), Json::array({0, sample.height})});
        return line.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    line["model"] = {{"path", capture->modelPath}, {"sha256", shaOrNull(capture->modelSha256)}};
    line["texture"] = shaOrNull(capture->textureSha256);
    line["overlay_picture"] = shaOrNull(capture->overlayPictureSha256);
    line["model_position"] = vec3Json(view.modelPosition);
    line["model_rotation"] = vec3Json(view.modelRotation);
    line["eye_position"] = vec3Json(view.eyePosition);
    line["yaw"] = view.yaw;
    line["lookHeight"] = view.lookHeight;
    line["ambient"] = Json::array({view.ambientRed, view.ambientGreen, view.ambientBlue});
    line["overlay"] = {
        {"rect", Json::array({view.overlayX, view.overlayY, view.overlayWidth, view.overlayHeight})},
        {"colour", Json::array({view.overlayRed, view.overlayGreen, view.overlayBlue})},
        {"alpha", view.overlayAlpha}};
    line["world"] = matrixJson(capture->world);
    line["view"] = matrixJson(capture->view);
    line["projection"] = matrixJson(capture->projection);
    if (capture->objectBox) {
        const auto& box = *capture->objectBox;
        line["object_box"] = Json::array({box[0], box[1], box[2], box[3]});
    } else {
        line["object_box"] = nullptr;
    }
    Json polygon = Json::array();
    for (const auto& point : capture->objectPolygon) polygon.push_back(Json::array({point[0], point[1]}));
    line["object_polygon"] = std::move(polygon);
    // A name in broken UTF-8 is written with replacement characters rather than not at all.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
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
