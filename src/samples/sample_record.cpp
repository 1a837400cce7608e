#include "samples/sample_record.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "capture/bmp_snapshot.h"
#include "capture/numbered_file.h"

namespace samples {
namespace {

using nlohmann::json;

// A key's value for a message: quoted and escaped as JSON, so that no control character or
// stray byte reaches the terminal.
std::string shown(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A whole number, also when written as one with a fraction of zero ("3.0").
std::optional<std::int64_t> wholeNumber(const json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t{INT64_MAX}) return {};
        return value.get<std::int64_t>();
    }
    if (!value.is_number_float()) return {};
    const double d = value.get<double>();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 1e15) return {};
    return static_cast<std::int64_t>(d);
}

// No coordinate of a sample lies further from its origin than this: values past it are mistakes,
// and keep the sums of the clipping far from overflow.
constexpr std::int64_t kFarthest = 1'000'000;

// A coordinate of an outline: a number, not too far.
bool withinReach(const json& value) {
    if (!value.is_number()) return false;
    const double d = value.get<double>();
    return std::isfinite(d) && d >= -kFarthest && d <= kFarthest;
}

// Keeps the part of a convex outline on the inner side of one edge of the picture
// (Sutherland-Hodgman): `inside` says which side, `cross` where a segment meets the edge.
template <class Inside, class Cross>
std::vector<PolygonPoint> clipEdge(const std::vector<PolygonPoint>& points, Inside inside, Cross cross) {
    std::vector<PolygonPoint> out;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PolygonPoint& a = points[i];
        const PolygonPoint& b = points[(i + 1) % points.size()];
        if (inside(a)) out.push_back(a);
        if (inside(a) != inside(b)) out.push_back(cross(a, b));
    }
    return out;
}

std::vector<PolygonPoint> clipToPicture(std::vector<PolygonPoint> points, double width, double height) {
    const auto atX = [](const PolygonPoint& a, const PolygonPoint& b, double x) {
        return PolygonPoint{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
    };
    const auto atY = [](const PolygonPoint& a, const PolygonPoint& b, double y) {
        return PolygonPoint{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
    };
    const bool inside = std::all_of(points.begin(), points.end(), [&](const PolygonPoint& p) {
        return p.x >= 0 && p.x <= width && p.y >= 0 && p.y <= height;
    });
    if (inside) return points;  // as written, without a rounding of any point
    points = clipEdge(
        points, [](const PolygonPoint& p) { return p.x >= 0; },
        [&](const PolygonPoint& a, const PolygonPoint& b) { return atX(a, b, 0); });
    points = clipEdge(
        points, [&](const PolygonPoint& p) { return p.x <= width; },
        [&](const PolygonPoint& a, const PolygonPoint& b) { return atX(a, b, width); });
    points = clipEdge(
        points, [](const PolygonPoint& p) { return p.y >= 0; },
        [&](const PolygonPoint& a, const PolygonPoint& b) { return atY(a, b, 0); });
    points = clipEdge(
        points, [&](const PolygonPoint& p) { return p.y <= height; },
        [&](const PolygonPoint& a, const PolygonPoint& b) { return atY(a, b, height); });
    return points;
}

struct Reader {
    SampleRecord record;
    std::vector<Sample> saves;  // every save line read, in order
    // For each file, its save lines (indexes into saves) not taken back, latest last.
    std::map<std::string, std::vector<std::size_t>, std::less<>> liveSaves;

    void problem(std::size_t line, std::string reason) {
        record.problems.push_back({line, std::move(reason)});
    }

    // The plain file name under `key`, or a problem.
    std::optional<std::string> fileName(const json& object, const char* key, std::size_t line) {
        const auto it = object.find(key);
        if (it == object.end()) {
            problem(line, std::string("no \"") + key + "\"");
            return {};
        }
        if (!it->is_string()) {
            problem(line, std::string("\"") + key + "\" is not a string");
            return {};
        }
        std::string name = it->get<std::string>();
        if (!isPlainFileName(name)) {
            problem(line, std::string("\"") + key + "\" is not a plain file name: " + shown(*it));
            return {};
        }
        return name;
    }

    void removal(const json& object, std::size_t line) {
        const std::optional<std::string> name = fileName(object, "removed", line);
        if (!name) return;
        const auto it = liveSaves.find(*name);
        if (it == liveSaves.end() || it->second.empty()) {
            problem(line, "removes " + *name + ", which no earlier line saves");
            return;
        }
        it->second.pop_back();
        ++record.removed;
    }

    void save(const json& object, std::size_t line) {
        const std::optional<std::string> name = fileName(object, "file", line);
        if (!name) return;
        Sample sample;
        sample.file = *name;
        sample.line = line;

        const auto kind = object.find("kind");
        if (kind == object.end()) return problem(line, "no \"kind\"");
        if (*kind == "capture") {
            sample.kind = SampleKind::Capture;
        } else if (*kind == "grab") {
            sample.kind = SampleKind::Grab;
        } else {
            return problem(line, "\"kind\" is neither \"capture\" nor \"grab\": " + shown(*kind));
        }

        for (const char* key : {"width", "height"}) {
            const auto it = object.find(key);
            if (it == object.end()) return problem(line, std::string("no \"") + key + "\"");
            const std::optional<std::int64_t> value = wholeNumber(*it);
            if (!value || *value <= 0 || *value > 65535)
                return problem(line, std::string("\"") + key + "\" is not a picture's size: " + shown(*it));
            (key[0] == 'w' ? sample.width : sample.height) = static_cast<int>(*value);
        }
        if (!capture::snapshotSizeAllowed(sample.width, sample.height))
            return problem(line, "a picture of " + std::to_string(sample.width) + " x " +
                                     std::to_string(sample.height) + " pixels, more than nukitori saves");

        const auto box = object.find("object_box");
        if (box != object.end() && !box->is_null()) {
            std::int64_t v[4] = {};
            bool whole = box->is_array() && box->size() == 4;
            for (std::size_t i = 0; whole && i < 4; ++i) {
                const std::optional<std::int64_t> n = wholeNumber((*box)[i]);
                whole = n && *n >= -kFarthest && *n <= kFarthest;
                if (whole) v[i] = *n;
            }
            if (!whole) return problem(line, "\"object_box\" is not four whole numbers or null");
            if (v[2] <= 0 || v[3] <= 0) return problem(line, "\"object_box\" is empty: " + shown(*box));
            // A box past the picture's edges keeps the part within them, the part an image holds.
            const std::int64_t left = std::max<std::int64_t>(v[0], 0);
            const std::int64_t top = std::max<std::int64_t>(v[1], 0);
            const std::int64_t right = std::min<std::int64_t>(v[0] + v[2], sample.width);
            const std::int64_t bottom = std::min<std::int64_t>(v[1] + v[3], sample.height);
            if (left >= right || top >= bottom)
                return problem(line, "\"object_box\" lies outside the picture: " + shown(*box));
            sample.objectBox = Box{static_cast<int>(left), static_cast<int>(top),
                                   static_cast<int>(right - left), static_cast<int>(bottom - top)};

            const auto polygon = object.find("object_polygon");
            if (polygon != object.end() && !polygon->is_null()) {
                if (!polygon->is_array()) return problem(line, "\"object_polygon\" is not a list of points");
                for (const json& point : *polygon) {
                    if (!point.is_array() || point.size() != 2 || !withinReach(point[0]) ||
                        !withinReach(point[1]))
                        return problem(line,
                                       "\"object_polygon\" holds " + shown(point) + ", which is no [x, y]");
                    sample.objectPolygon.push_back({point[0].get<double>(), point[1].get<double>()});
                }
                sample.objectPolygon =
                    clipToPicture(std::move(sample.objectPolygon), sample.width, sample.height);
            }
        }

        ++record.saveLines;
        liveSaves[sample.file].push_back(saves.size());
        saves.push_back(std::move(sample));
    }

    void line(std::string_view text, std::size_t number) {
        const json value = json::parse(text, nullptr, false);
        if (value.is_discarded()) return problem(number, text.empty() ? "an empty line" : "not JSON");
        if (!value.is_object()) return problem(number, "not a JSON object");
        if (value.contains("removed")) return removal(value, number);
        save(value, number);
    }

    // The live samples: the latest save line of each file not taken back, in line order.
    void finish() {
        std::vector<std::size_t> live;
        for (const auto& [name, stack] : liveSaves) {
            if (stack.empty()) continue;
            record.superseded += stack.size() - 1;
            live.push_back(stack.back());
        }
        std::sort(live.begin(), live.end());
        for (const std::size_t i : live) record.live.push_back(std::move(saves[i]));
    }
};

}  // namespace

bool isPlainFileName(std::string_view name) {
    // sanitizePrefix makes names that nukitori can save: a name it leaves as it is is one plain
    // name on this system.
    return !name.empty() && capture::sanitizePrefix(name) == name;
}

SampleRecord parseSampleRecord(std::istream& in) {
    Reader reader;
    std::string text;
    std::size_t number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (in.eof()) {  // no line feed after it: nukitori is still writing it
            reader.record.tornLastLine = true;
            break;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        ++reader.record.lines;
        reader.line(text, number);
    }
    reader.finish();
    return std::move(reader.record);
}

base::Result<std::optional<SampleRecord>> readSampleRecord(const std::filesystem::path& folder) {
    const std::filesystem::path path = folder / base::pathFromUtf8(base::kSampleRecordFile);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return std::optional<SampleRecord>();
    if (error) return base::Failure{error.message()};
    if (!std::filesystem::is_regular_file(status)) return base::Failure{"not a regular file"};
    std::ifstream in(path, std::ios::binary);
    if (!in) return base::Failure{"it cannot be opened"};
    SampleRecord record = parseSampleRecord(in);
    if (in.bad()) return base::Failure{"it cannot be read"};
    return std::optional<SampleRecord>(std::move(record));
}

}  // namespace samples
