#include "replay/recorded_view.h"

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

namespace replay {
namespace {

using Json = nlohmann::json;

std::string shaOrEmpty(const Json& value) {
    return value.is_string() ? value.get<std::string>() : std::string();
}

base::Vec3 vec3(const Json& value) {
    if (!value.is_array() || value.size() != 3) throw std::invalid_argument("not three numbers");
    return {value[0].get<float>(), value[1].get<float>(), value[2].get<float>()};
}

base::Matrix matrix(const Json& value) {
    if (!value.is_array() || value.size() != 16) throw std::invalid_argument("a matrix without 16 numbers");
    base::Matrix m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = value[static_cast<std::size_t>(i)].get<float>();
    return m;
}

}  // namespace

base::Result<RecordedCapture> readCaptureLine(std::string_view line, std::size_t lineNumber) {
    try {
        const Json j = Json::parse(line);
        if (!j.is_object()) return base::Failure{"not a JSON object"};
        if (j.value("kind", std::string()) != "capture") return base::Failure{"not a capture"};
        RecordedCapture c;
        c.lineNumber = lineNumber;
        c.file = j.at("file").get<std::string>();
        c.prefix = j.value("prefix", std::string());
        c.number = j.value("number", 0);
        c.modelPath = j.at("model").at("path").get<std::string>();
        c.modelSha256 = shaOrEmpty(j.at("model").at("sha256"));
        c.textureSha256 = shaOrEmpty(j.at("texture"));
        c.overlayPictureSha256 = shaOrEmpty(j.at("overlay_picture"));
        state::ViewState& v = c.view;
        v.modelPosition = vec3(j.at("model_position"));
        v.modelRotation = vec3(j.at("model_rotation"));
        v.eyePosition = vec3(j.at("eye_position"));
        v.yaw = j.at("yaw").get<float>();
        v.lookHeight = j.at("lookHeight").get<float>();
        const base::Vec3 ambient = vec3(j.at("ambient"));
        v.ambientRed = ambient.x;
        v.ambientGreen = ambient.y;
        v.ambientBlue = ambient.z;
        // The texts show the light in whole percents, which the light was made from.
        v.ambientRedPercent = static_cast<std::uint16_t>(std::lround(ambient.x * 100));
        v.ambientGreenPercent = static_cast<std::uint16_t>(std::lround(ambient.y * 100));
        v.ambientBluePercent = static_cast<std::uint16_t>(std::lround(ambient.z * 100));
        const Json& overlay = j.at("overlay");
        const Json& rect = overlay.at("rect");
        const Json& colour = overlay.at("colour");
        if (rect.size() != 4 || colour.size() != 3)
            return base::Failure{"an overlay without its rectangle or colour"};
        v.overlayX = rect[0].get<std::int16_t>();
        v.overlayY = rect[1].get<std::int16_t>();
        v.overlayWidth = rect[2].get<std::uint16_t>();
        v.overlayHeight = rect[3].get<std::uint16_t>();
        v.overlayRed = colour[0].get<std::uint16_t>();
        v.overlayGreen = colour[1].get<std::uint16_t>();
        v.overlayBlue = colour[2].get<std::uint16_t>();
        v.overlayAlpha = overlay.at("alpha").get<std::uint16_t>();
        c.world = matrix(j.at("world"));
        c.viewMatrix = matrix(j.at("view"));
        c.projection = matrix(j.at("projection"));
        if (const auto saved = j.find("saved_line"); saved != j.end() && saved->is_string())
            c.savedLine = saved->get<std::string>();
        if (const auto problem = j.find("problem_line"); problem != j.end() && problem->is_string())
            c.problemLine = problem->get<std::string>();
        return c;
    } catch (const std::exception& e) {
        return base::Failure{std::string("cannot be read: ") + e.what()};
    }
}

RecordReading readRecord(std::string_view text) {
    RecordReading reading;
    std::vector<RecordedCapture> all;
    std::map<std::string, std::size_t> lastSave;  // file -> line of its latest save
    std::map<std::string, std::size_t> lastRemoval;
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        Json j;
        try {
            j = Json::parse(line);
        } catch (const std::exception&) {
            reading.bad.emplace_back(number, "not JSON");
            continue;
        }
        if (!j.is_object()) {
            reading.bad.emplace_back(number, "not a JSON object");
            continue;
        }
        if (const auto removed = j.find("removed"); removed != j.end() && removed->is_string()) {
            lastRemoval[removed->get<std::string>()] = number;
            continue;
        }
        if (const auto file = j.find("file"); file != j.end() && file->is_string())
            lastSave[file->get<std::string>()] = number;
        if (j.value("kind", std::string()) != "capture") continue;
        auto capture = readCaptureLine(line, number);
        if (!capture) {
            reading.bad.emplace_back(number, capture.error());
            continue;
        }
        all.push_back(std::move(*capture));
    }
    for (RecordedCapture& c : all) {
        // Live: this is the file's latest save, and no take-back came after it.
        const auto removal = lastRemoval.find(c.file);
        if (lastSave[c.file] != c.lineNumber) continue;
        if (removal != lastRemoval.end() && removal->second > c.lineNumber) continue;
        reading.captures.push_back(std::move(c));
    }
    return reading;
}

}  // namespace replay
