#include "replay/replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/log.h"
#include "base/os/file_stamp.h"
#include "base/os/os_file.h"
#include "base/os/processes.h"
#include "base/safe_file.h"
#include "base/sha256.h"
#include "capture/bmp_snapshot.h"
#include "capture/sample_record.h"
#include "render/model_object.h"
#include "render/object_label.h"
#include "render/overlay_quad.h"
#include "render/render_frame.h"
#include "replay/images.h"
#include "replay/recorded_view.h"

namespace replay {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kClearColour = 0xFF3CA3B9;       // the viewer's
constexpr std::uint32_t kOtherClearColour = 0xFFC35C46;  // far from it in every channel
constexpr std::uint64_t kMaxRecordBytes = 1ull << 30;
volatile std::sig_atomic_t interrupted = 0;

void say(const std::string& line) {
    std::fputs(("nukitori-replay: " + line + "\n").c_str(), stderr);
}

const char* kUsage =
    "usage: nukitori-replay RECORD --out DIR [--picture FILE|FOLDER]... [options]\n"
    "       nukitori-replay --help | --version\n"
    "\n"
    "Draws every live capture of RECORD (a save folder's nukitori-samples.jsonl) again, with no\n"
    "display, through the viewer's own renderer and 594 x 578 back buffer, and writes the cut\n"
    "under the recorded overlay rectangle into DIR, with DIR's own nukitori-samples.jsonl.\n"
    "\n"
    "  --out DIR        the folder to write (created when missing)\n"
    "  --picture P      a picture, or a folder of pictures, to wear as the grab texture; may be\n"
    "                   given many times. Default: the texture each capture wore, found by its\n"
    "                   SHA-256 in the recorded working folder or its save folder\n"
    "  --clean          the model alone on the cleared frame: no overlay, no texts\n"
    "  --png            PNG files instead of BMP\n"
    "  --size W H       every cut resized to W x H pixels\n"
    "  --background F   the clear colour replaced by the pictures of folder F, one per sample in\n"
    "                   turn (or drawn with --seed); the scene is drawn clean then\n"
    "  --sweep SPEC     views made around each capture instead: SPEC is a list of\n"
    "                   NAME=FROM:TO:STEP, NAME one of rx ry rz (the model's turns), yaw, look\n"
    "                   (the height looked at), e.g. \"rx=-0.6:0.6:0.2,ry=-1:1:0.25\"\n"
    "  --random N       N views per capture drawn within the sweep's ranges instead of its steps\n"
    "  --seed S         the seed of --random and --background (default: 0 / in turn)\n"
    "  --name PATTERN   file names: {picture} {file} {view} (default {picture}_{file})\n"
    "  --shard K/N      only the K-th of N parts of the work (1 <= K <= N), for many machines\n"
    "  -j N             N processes at once (default: the number of cores)\n"
    "  --allow-changed-model  replay captures whose model file changed since\n"
    "  --quiet          no progress\n"
    "  --help, --version\n"
    "\n"
    "Files are named <picture stem>_<recorded file stem>.bmp (and _v<n> for swept views). Run\n"
    "again on the same DIR, it\n"
    "skips the samples it already made. Exit status: 0 all made, 1 some could not be made,\n"
    "2 for a wrong command line.\n";

struct Options {
    fs::path record, out;
    std::vector<fs::path> pictures;
    bool clean = false, png = false, quiet = false, allowChangedModel = false;
    std::optional<std::pair<int, int>> size;
    int shard = 1, shards = 1;
    int jobs = 0;
    int worker = -1, workers = 1;  // a worker process: its part of the shard
    std::string sweep;             // "rx=-0.6:0.6:0.2,ry=..."
    int random = 0;                // views drawn at random within the sweep's ranges, per capture
    std::optional<std::uint64_t> seed;
    std::optional<fs::path> background;
    std::string name = "{picture}_{file}";
    std::vector<std::string> arguments;
};

bool parseInt(const std::string& text, int& value, int low, int high) {
    try {
        std::size_t used = 0;
        value = std::stoi(text, &used);
        return used == text.size() && value >= low && value <= high;
    } catch (const std::exception&) {
        return false;
    }
}

bool parsePart(const std::string& text, int& k, int& n) {
    const auto slash = text.find('/');
    return slash != std::string::npos && parseInt(text.substr(slash + 1), n, 1, 1 << 20) &&
           parseInt(text.substr(0, slash), k, 1, n);
}

// Nothing, or the exit code: 0 after --help or --version, 2 for a wrong command line.
std::optional<int> parse(const std::vector<std::string>& argv, Options& o) {
    std::vector<std::string> positional;
    const int argc = static_cast<int>(argv.size());
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[static_cast<std::size_t>(i)];
        auto next = [&](const char* what) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                say(a + " needs " + what);
                return std::nullopt;
            }
            return argv[static_cast<std::size_t>(++i)];
        };
        if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("nukitori-replay %s\n", NUKITORI_VERSION);
            return 0;
        }
        if (a == "--out") {
            const auto v = next("a folder");
            if (!v) return 2;
            o.out = base::pathFromUtf8(*v);
        } else if (a == "--picture") {
            const auto v = next("a picture or a folder");
            if (!v) return 2;
            o.pictures.push_back(base::pathFromUtf8(*v));
        } else if (a == "--sweep" || a == "--name") {
            const auto v = next(a == "--sweep" ? "ranges such as ry=-1:1:0.25" : "a pattern");
            if (!v) return 2;
            (a == "--sweep" ? o.sweep : o.name) = *v;
            o.arguments.insert(o.arguments.end(), {a, *v});
            continue;
        } else if (a == "--random" || a == "--seed") {
            const auto v = next("a number");
            int n = 0;
            if (!v || !parseInt(*v, n, a == "--random" ? 1 : 0, 1 << 30)) {
                say(a + " takes a whole number" + (a == "--random" ? " from 1" : " from 0"));
                return 2;
            }
            if (a == "--random")
                o.random = n;
            else
                o.seed = static_cast<std::uint64_t>(n);
            o.arguments.insert(o.arguments.end(), {a, *v});
            continue;
        } else if (a == "--background") {
            const auto v = next("a folder of pictures");
            if (!v) return 2;
            o.background = base::pathFromUtf8(*v);
            o.arguments.insert(o.arguments.end(), {a, *v});
            continue;
        } else if (a == "--clean") {
            o.clean = true;
        } else if (a == "--png") {
            o.png = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--allow-changed-model") {
            o.allowChangedModel = true;
        } else if (a == "--size") {
            int w = 0, h = 0;
            const auto sw = next("a width and a height");
            const auto sh = sw ? next("a height") : std::nullopt;
            if (!sh || !parseInt(*sw, w, 1, 8192) || !parseInt(*sh, h, 1, 8192)) {
                say("--size takes a width and a height from 1 to 8192");
                return 2;
            }
            o.size = std::pair{w, h};
            o.arguments.insert(o.arguments.end(), {a, *sw, *sh});
            continue;
        } else if (a == "--shard" || a == "--worker") {
            const auto v = next("K/N");
            int k = 0, n = 0;
            if (!v || !parsePart(*v, k, n)) {
                say(a + " takes K/N with 1 <= K <= N");
                return 2;
            }
            if (a == "--shard") {
                o.shard = k;
                o.shards = n;
            } else {
                o.worker = k - 1;
                o.workers = n;
            }
            if (a == "--worker") continue;
            o.arguments.insert(o.arguments.end(), {a, *v});
            continue;
        } else if (a == "-j") {
            const auto v = next("a number");
            if (!v || !parseInt(*v, o.jobs, 1, 256)) {
                say("-j takes a number from 1 to 256");
                return 2;
            }
            continue;
        } else if (!a.empty() && a[0] == '-') {
            say("unknown option " + a + " (see --help)");
            return 2;
        } else {
            positional.push_back(a);
        }
        o.arguments.push_back(a);
        if (a == "--out" || a == "--picture") o.arguments.push_back(argv[static_cast<std::size_t>(i)]);
    }
    if (positional.size() != 1 || o.out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    o.record = base::pathFromUtf8(positional[0]);
    if (o.random && o.sweep.empty()) {
        say("--random draws views within the ranges of --sweep: give both");
        return 2;
    }
    if (o.name.find("{file}") == std::string::npos) {
        say("--name needs {file} in it, or two captures would get one name");
        return 2;
    }
    return std::nullopt;
}

std::string lowerExtension(const fs::path& p) {
    std::string e = base::utf8FromPath(p.extension());
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

// The pictures given: files as they are, folders by their pictures in name order.
std::vector<fs::path> picturesOf(const std::vector<fs::path>& given, std::vector<std::string>& problems) {
    static const std::set<std::string> kPictures = {".bmp", ".png", ".jpg", ".jpeg", ".gif"};
    std::vector<fs::path> pictures;
    for (const fs::path& p : given) {
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            std::vector<fs::path> inside;
            for (const auto& entry : fs::directory_iterator(p, ec))
                if (entry.is_regular_file(ec) && kPictures.count(lowerExtension(entry.path())))
                    inside.push_back(fs::absolute(entry.path(), ec));
            std::sort(inside.begin(), inside.end());
            if (inside.empty()) problems.push_back(base::utf8FromPath(p) + ": no pictures in it");
            pictures.insert(pictures.end(), inside.begin(), inside.end());
        } else if (fs::is_regular_file(p, ec)) {
            pictures.push_back(fs::absolute(p, ec));
        } else {
            problems.push_back(base::utf8FromPath(p) + ": no such picture or folder");
        }
    }
    return pictures;
}

// One sample to make: a capture worn with a picture (none: the one it wore).
struct Job {
    const replay::RecordedCapture* capture;
    std::optional<fs::path> picture;
    std::string name;  // the output file's name
    std::optional<fs::path> background;
};

// One swept parameter: its name and its range.
struct Range {
    std::string name;
    double from = 0, to = 0, step = 0;
};

std::optional<std::vector<Range>> parseSweep(const std::string& spec, std::string& error) {
    static const std::set<std::string> kNames = {"rx", "ry", "rz", "yaw", "look"};
    std::vector<Range> ranges;
    std::size_t start = 0;
    while (start <= spec.size()) {
        const std::size_t comma = std::min(spec.find(',', start), spec.size());
        const std::string item = spec.substr(start, comma - start);
        start = comma + 1;
        Range r;
        const auto equals = item.find('=');
        r.name = item.substr(0, equals);
        if (equals == std::string::npos || !kNames.count(r.name)) {
            error = "\"" + item + "\": each item is NAME=FROM:TO:STEP, NAME one of rx ry rz yaw look";
            return std::nullopt;
        }
        if (std::sscanf(item.c_str() + equals + 1, "%lf:%lf:%lf", &r.from, &r.to, &r.step) != 3 ||
            !(r.step > 0) || !(r.to >= r.from) || (r.to - r.from) / r.step > 100000) {
            error = "\"" + item + "\": FROM:TO:STEP with FROM <= TO and a step above 0";
            return std::nullopt;
        }
        ranges.push_back(r);
    }
    return ranges;
}

// A capture's view moved by `offsets` (one per range): its matrices made again as the viewer
// makes them.
replay::RecordedCapture moved(const replay::RecordedCapture& c, const std::vector<Range>& ranges,
                              const std::vector<double>& offsets) {
    replay::RecordedCapture v = c;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const float d = static_cast<float>(offsets[i]);
        const std::string& n = ranges[i].name;
        if (n == "rx") v.view.modelRotation.x += d;
        if (n == "ry") v.view.modelRotation.y += d;
        if (n == "rz") v.view.modelRotation.z += d;
        if (n == "yaw") v.view.yaw += d;
        if (n == "look") v.view.lookHeight += d;
    }
    v.world = render::worldOf(v.view.modelPosition, v.view.modelRotation);
    const render::Camera camera = render::cameraOf(v.view);
    v.viewMatrix = camera.view;
    v.projection = camera.projection;
    return v;
}

std::string named(std::string pattern, const std::string& picture, const std::string& file,
                  const std::string& view) {
    for (const auto& [key, value] :
         {std::pair{std::string("{picture}"), picture}, {"{file}", file}, {"{view}", view}})
        for (std::size_t at; (at = pattern.find(key)) != std::string::npos;)
            pattern.replace(at, key.size(), value);
    return pattern;
}

// The pictures by SHA-256 in the recorded working folder and its save folder, found on demand.
class RecordedPictures {
public:
    explicit RecordedPictures(fs::path workFolder) : work_(std::move(workFolder)) {}
    std::optional<fs::path> find(const std::string& sha) {
        if (!scanned_) {
            scanned_ = true;
            for (const fs::path& folder : {work_, work_ / base::pathFromUtf8(base::kSaveFolder)}) {
                std::error_code ec;
                std::vector<fs::path> files;
                for (const auto& entry : fs::directory_iterator(folder, ec))
                    if (entry.is_regular_file(ec) && lowerExtension(entry.path()) == ".bmp")
                        files.push_back(entry.path());
                std::sort(files.begin(), files.end());
                for (const fs::path& f : files) bySha_.emplace(base::fileSha256(base::utf8FromPath(f)), f);
            }
        }
        const auto found = bySha_.find(sha);
        if (found == bySha_.end()) return std::nullopt;
        return found->second;
    }

private:
    fs::path work_;
    bool scanned_ = false;
    std::multimap<std::string, fs::path> bySha_;
};

std::string stemOf(const std::string& file) {
    return base::utf8FromPath(base::pathFromUtf8(file).stem());
}

// What DIR's record already says: output file -> (source line, picture SHA-256).
std::map<std::string, std::pair<std::size_t, std::string>> madeBefore(const fs::path& record) {
    std::map<std::string, std::pair<std::size_t, std::string>> made;
    auto text = base::readFileBytes(base::utf8FromPath(record), kMaxRecordBytes);
    if (!text) return made;
    const std::string all(text->begin(), text->end());
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) break;  // a torn last line was never finished
        try {
            const auto j = nlohmann::json::parse(all.substr(start, end - start));
            if (j.contains("source") && j.contains("picture") && j.contains("file"))
                made[j["file"].get<std::string>()] = {j["source"].get<std::size_t>(),
                                                      j["picture"].get<std::string>()};
        } catch (const std::exception&) {
        }
        start = end + 1;
    }
    return made;
}

// Digests by path, read again only when a file's stamp changes: every sample names its model and
// its picture, most of them the same files.
class Digests {
public:
    const std::string& of(const std::string& path) {
        const base::FileStamp stamp = base::fileStamp(path);
        auto& [known, digest] = cache_[path];
        if (!(known == stamp) || digest.empty()) {
            known = stamp;
            digest = stamp.exists ? base::fileSha256(path) : std::string();
        }
        return digest;
    }

private:
    std::map<std::string, std::pair<base::FileStamp, std::string>> cache_;
};

struct Totals {
    std::size_t made = 0, skipped = 0, failed = 0;
};

// The cut of `frame` under `rect` (the back buffer's pixels; black outside it, as the screen
// outside the viewer would not be the frame).
base::Image cutOf(const base::Image& frame, int x, int y, int w, int h) {
    base::Image cut(w, h, 0xFF000000u);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const int fx = x + col, fy = y + row;
            if (fx >= 0 && fy >= 0 && fx < frame.width && fy < frame.height)
                cut.at(col, row) = frame.at(fx, fy);
        }
    return cut;
}

std::vector<std::uint8_t> encode(const base::Image& image, bool png) {
    return png ? encodePng(image) : capture::encodeBmpSnapshot(image);
}

// The label scaled with the picture, for --size.
void scaleLabel(capture::CaptureView& view, double sx, double sy, int w, int h) {
    if (view.objectBox) {
        auto& b = *view.objectBox;
        const int x0 = std::clamp(static_cast<int>(std::floor(b[0] * sx)), 0, w);
        const int y0 = std::clamp(static_cast<int>(std::floor(b[1] * sy)), 0, h);
        const int x1 = std::clamp(static_cast<int>(std::ceil((b[0] + b[2]) * sx)), 0, w);
        const int y1 = std::clamp(static_cast<int>(std::ceil((b[1] + b[3]) * sy)), 0, h);
        b = {x0, y0, x1 - x0, y1 - y0};
    }
    for (auto& p : view.objectPolygon) {
        p[0] *= sx;
        p[1] *= sy;
    }
}

// A background picture filling the back buffer: scaled to cover it, its middle kept.
base::Image backgroundPicture(platform::ImageDecoder& decoder, const fs::path& path) {
    auto bytes = base::readFileBytes(base::utf8FromPath(path), 256ull << 20);
    if (!bytes) return {};
    auto picture = decoder.decodeBytes(*bytes);
    if (!picture) return {};
    return covering(*picture, state::kBackBufferWidth, state::kBackBufferHeight);
}

int runWorker(const Options& o, const std::vector<Job>& jobs, const fs::path& workFolder,
              const RendererFactory& makeRenderer) {
    // The grab texture each job wears is written into a folder of this process's own, which is
    // the working folder the model's texture names are looked up in first.
    std::error_code ec;
    const fs::path scratch =
        fs::temp_directory_path(ec) / ("nukitori-replay-" + std::to_string(base::processId()));
    fs::create_directories(scratch, ec);
    const fs::path out = fs::absolute(o.out, ec);
    fs::current_path(scratch, ec);
    if (ec) {
        say("cannot work in " + base::utf8FromPath(scratch) + ": " + ec.message());
        return 1;
    }
    auto renderer = makeRenderer();
    if (!renderer) {
        say(renderer.error());
        return 1;
    }
    device::GraphicsDevice& device = (*renderer)->device();
    platform::ImageDecoder& decoder = (*renderer)->decoder();
    auto font = device.createTextFont(14);
    render::OverlayQuad overlay(device);
    overlay.loadTexture(decoder,
                        base::utf8FromPath(workFolder / base::pathFromUtf8(base::kOverlayPictureFile)));
    const std::string overlaySha =
        base::fileSha256(base::utf8FromPath(workFolder / base::pathFromUtf8(base::kOverlayPictureFile)));

    RecordedPictures recorded(workFolder);
    Digests digests;
    const fs::path outRecord = out / base::pathFromUtf8(base::kSampleRecordFile);
    auto before = madeBefore(outRecord);
    std::unique_ptr<render::ModelObject> model;
    std::string modelFile, wornPicture;
    std::string backgroundFile, backgroundPictureSha;
    base::Image background;  // the last one only: a folder may hold thousands
    Totals totals;
    const std::string grabTexture(base::kGrabTextureFile);
    for (std::size_t index = 0; index < jobs.size() && !interrupted; ++index) {
        if (o.worker >= 0 && static_cast<int>(index % static_cast<std::size_t>(o.workers)) != o.worker)
            continue;
        const Job& job = jobs[index];
        const replay::RecordedCapture& c = *job.capture;
        auto fail = [&](const std::string& why) {
            say("line " + std::to_string(c.lineNumber) + " (" + c.file + "): " + why);
            ++totals.failed;
        };
        std::optional<fs::path> picture = job.picture;
        if (!picture) {
            if (c.textureSha256.empty()) {
                fail("the model wore no grab texture, and no --picture was given");
                continue;
            }
            picture = recorded.find(c.textureSha256);
            if (!picture) {
                fail("the texture it wore (" + c.textureSha256.substr(0, 12) + "...) is no longer in " +
                     base::utf8FromPath(workFolder));
                continue;
            }
        }
        const std::string pictureFile = base::utf8FromPath(*picture);
        const std::string pictureSha = digests.of(pictureFile);
        if (pictureSha.empty()) {
            fail(pictureFile + " cannot be read");
            continue;
        }
        const fs::path target = out / base::pathFromUtf8(job.name);
        if (const auto was = before.find(job.name); was != before.end() &&
                                                    was->second == std::pair{c.lineNumber, pictureSha} &&
                                                    fs::exists(target, ec)) {
            ++totals.skipped;
            continue;
        }
        const fs::path modelPath = workFolder / base::pathFromUtf8(c.modelPath);
        const std::string modelUtf8 = base::utf8FromPath(modelPath);
        if (!fs::is_regular_file(modelPath, ec)) {
            fail("the model " + modelUtf8 + " is missing");
            continue;
        }
        const std::string modelSha = digests.of(modelUtf8);
        if (!c.modelSha256.empty() && modelSha != c.modelSha256 && !o.allowChangedModel) {
            fail("the model " + modelUtf8 + " changed since (--allow-changed-model replays it anyway)");
            continue;
        }
        if (pictureSha != wornPicture) {
            auto bytes = base::readFileBytes(pictureFile, 256ull << 20);
            if (!bytes ||
                !base::writeFileAtomically(base::pathFromUtf8(grabTexture), *bytes, base::Durability::Scratch)) {
                fail(pictureFile + " cannot be read or put in place");
                continue;
            }
            wornPicture = pictureSha;
            if (model) model->reloadChangedTextures(decoder, grabTexture);
        }
        if (!model || modelFile != modelUtf8) {
            model.reset();
            base::LogCollector quiet;  // what a load says is the viewer's business
            model = std::make_unique<render::ModelObject>(modelUtf8, device, decoder);
            modelFile = modelUtf8;
        }
        const bool clean = o.clean || job.background.has_value();
        render::RecordedFrame frame{c.view, c.world, c.viewMatrix, c.projection, c.savedLine, clean, c.problemLine};
        auto draw = [&](std::uint32_t clearColour) -> const base::Image& {
            device.beginScene();
            device.clear(device::kClearTarget | device::kClearZBuffer, clearColour, 1.0f, 0);
            render::Scene scene{device, font.get(), model.get(), &overlay};
            render::renderRecordedFrame(frame, scene);
            device.endScene();
            return (*renderer)->frameAsShown();
        };
        const base::Image* shown = &draw(kClearColour);
        base::Image whole;
        std::string backgroundSha;
        if (job.background) {
            // Drawn again on another clear colour: the pixels that follow it are the background's.
            whole = *shown;
            shown = &whole;
            const base::Image& other = draw(kOtherClearColour);
            const std::string file = base::utf8FromPath(*job.background);
            if (file != backgroundFile) {
                backgroundFile = file;
                background = backgroundPicture(decoder, *job.background);
                backgroundPictureSha = base::fileSha256(file);
            }
            if (background.empty()) {
                fail(file + " cannot be read as a picture");
                continue;
            }
            for (std::size_t i = 0; i < whole.pixels.size(); ++i)
                if (whole.pixels[i] != other.pixels[i]) whole.pixels[i] = background.pixels[i];
            backgroundSha = backgroundPictureSha;
        }
        base::Image cut =
            cutOf(*shown, c.view.overlayX, c.view.overlayY, c.view.overlayWidth, c.view.overlayHeight);
        capture::CaptureView view;
        view.modelPath = c.modelPath;
        view.modelSha256 = modelSha;
        view.textureSha256 = pictureSha;
        view.overlayPictureSha256 = clean ? std::string() : overlaySha;
        view.world = c.world;
        view.view = c.viewMatrix;
        view.projection = c.projection;
        view.savedLine = clean ? std::nullopt : c.savedLine;
        view.problemLine = clean ? std::nullopt : c.problemLine;
        const base::Rect rect{c.view.overlayX, c.view.overlayY, c.view.overlayX + c.view.overlayWidth,
                              c.view.overlayY + c.view.overlayHeight};
        const render::ObjectLabel label =
            render::labelObject(model->labelShape(), c.world, c.viewMatrix, c.projection,
                                state::kBackBufferWidth, state::kBackBufferHeight, rect);
        view.objectBox = label.box;
        view.objectPolygon = label.polygon;
        if (o.size) {
            const auto [w, h] = *o.size;
            scaleLabel(view, static_cast<double>(w) / cut.width, static_cast<double>(h) / cut.height, w, h);
            cut = resized(cut, w, h);
        }
        const std::vector<std::uint8_t> bytes = encode(cut, o.png);
        const auto written = base::writeFileExclusive(target, bytes, base::Durability::Batch);
        if (!written) {
            fail(base::utf8FromPath(target) + ": " + written.error());
            continue;
        }
        if (*written == base::ExclusiveWrite::NameTaken) {
            // Ours when it holds exactly these bytes (a run stopped between the file and its line).
            auto there = base::readFileBytes(base::utf8FromPath(target), bytes.size() + 1);
            if (!there || *there != bytes) {
                fail(base::utf8FromPath(target) + " is there already and is not this sample: left alone");
                continue;
            }
        }
        capture::SavedSample sample{
            capture::SampleKind::Capture,
            job.name,
            c.prefix,
            c.number,
            cut.width,
            cut.height,
            {c.view.overlayX, c.view.overlayY, c.view.overlayWidth, c.view.overlayHeight},
            {}};
        std::string extra =
            "\"source\":" + std::to_string(c.lineNumber) + ",\"picture\":\"" + pictureSha + "\"";
        if (!backgroundSha.empty()) extra += ",\"background\":\"" + backgroundSha + "\"";
        const std::string line =
            capture::sampleLine(sample, &view, c.view, capture::utcTime(std::chrono::system_clock::now()),
                                std::string("nukitori-replay ") + NUKITORI_VERSION, extra) +
            "\n";
        const auto appended = base::appendToFile(
            outRecord, std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
        if (!appended) {
            fail(base::utf8FromPath(outRecord) + ": " + appended.error());
            continue;
        }
        ++totals.made;
    }
    model.reset();
    fs::current_path(out, ec);
    fs::remove_all(scratch, ec);
    // The samples waited for nothing one by one: they are on the disk before the run says so.
    base::syncFileSystem(out);
    if (o.worker < 0 && !o.quiet)
        say("made " + std::to_string(totals.made) + ", already there " + std::to_string(totals.skipped) +
            ", failed " + std::to_string(totals.failed));
    return totals.failed || interrupted ? 1 : 0;
}

std::size_t linesIn(const fs::path& record) {
    auto text = base::readFileBytes(base::utf8FromPath(record), kMaxRecordBytes);
    return text ? static_cast<std::size_t>(std::count(text->begin(), text->end(), '\n')) : 0;
}

// The workers, each a process of this program with its part of the jobs, and the progress
// counted from the lines they append.
int runWorkers(const Options& o, std::size_t total, int count) {
    const fs::path outRecord = o.out / base::pathFromUtf8(base::kSampleRecordFile);
    const std::size_t startLines = linesIn(outRecord);
    std::vector<std::vector<std::string>> copies;
    for (int w = 0; w < count; ++w) {
        copies.push_back(o.arguments);
        copies.back().insert(copies.back().end(),
                             {"--worker", std::to_string(w + 1) + "/" + std::to_string(count)});
    }
    const bool terminal = base::stderrIsTerminal();
    const Clock::time_point start = Clock::now();
    int lastTenth = -1;
    const base::Status ran = base::runCopiesOfSelf(copies, [&] {
        if (o.quiet || !total) return;
        const std::size_t done = std::min(total, linesIn(outRecord) - startLines);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double rate = seconds > 0 ? done / seconds : 0;
        if (terminal) {
            const int filled = static_cast<int>(30 * done / total);
            const std::string left =
                rate > 0 ? std::to_string(static_cast<long>((total - done) / rate)) + " s left  " : "";
            std::fprintf(stderr, "\r[%s%s] %zu/%zu %.1f/s %s", std::string(filled, '#').c_str(),
                         std::string(30 - filled, ' ').c_str(), done, total, rate, left.c_str());
        } else if (const int tenth = static_cast<int>(10 * done / total); tenth > lastTenth) {
            lastTenth = tenth;
            std::fprintf(stderr, "nukitori-replay: %zu/%zu (%d %%)\n", done, total, tenth * 10);
        }
    });
    const int status = ran ? 0 : 1;
    if (!ran) say(ran.error());
    if (!o.quiet && terminal) std::fputc('\n', stderr);
    if (!o.quiet)
        say("made " + std::to_string(linesIn(outRecord) - startLines) + " of " + std::to_string(total) +
            " (the rest were there already or are named above) in " + base::utf8FromPath(o.out));
    return status;
}

}  // namespace

int run(const std::vector<std::string>& arguments, const RendererFactory& makeRenderer) {
    Options o;
    if (const auto done = parse(arguments, o)) return *done;
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });

    auto text = base::readFileBytes(base::utf8FromPath(o.record), kMaxRecordBytes);
    if (!text) {
        say(base::utf8FromPath(o.record) + ": " + text.error());
        return 1;
    }
    replay::RecordReading reading =
        replay::readRecord(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    if (o.worker < 0)
        for (const auto& [line, why] : reading.bad) say("line " + std::to_string(line) + ": " + why);
    std::vector<std::string> problems;
    const std::vector<fs::path> pictures = picturesOf(o.pictures, problems);
    for (const std::string& p : problems) say(p);
    if (!problems.empty()) return 2;
    std::error_code ec;
    // The record lies in the save folder of the working folder it was made in.
    const fs::path workFolder = fs::absolute(o.record, ec).parent_path().parent_path();

    // The views: the recorded ones, or those swept or drawn around each of them.
    std::deque<replay::RecordedCapture> views;
    std::vector<std::string> viewNames;
    if (o.sweep.empty()) {
        for (const replay::RecordedCapture& c : reading.captures) {
            views.push_back(c);
            viewNames.push_back("");
        }
    } else {
        std::string error;
        const auto ranges = parseSweep(o.sweep, error);
        if (!ranges) {
            say("--sweep " + error);
            return 2;
        }
        std::mt19937_64 random(o.seed.value_or(0));
        for (const replay::RecordedCapture& c : reading.captures) {
            std::vector<std::vector<double>> offsets;
            if (o.random) {
                for (int n = 0; n < o.random; ++n) {
                    std::vector<double> one;
                    for (const Range& r : *ranges)
                        one.push_back(std::uniform_real_distribution<double>(r.from, r.to)(random));
                    offsets.push_back(one);
                }
            } else {
                offsets.push_back({});
                for (const Range& r : *ranges) {
                    std::vector<std::vector<double>> grown;
                    const int steps = static_cast<int>(std::floor((r.to - r.from) / r.step + 1e-9));
                    for (const auto& partial : offsets)
                        for (int k = 0; k <= steps; ++k) {
                            auto next = partial;
                            next.push_back(r.from + k * r.step);
                            grown.push_back(std::move(next));
                        }
                    offsets = std::move(grown);
                }
            }
            for (std::size_t k = 0; k < offsets.size(); ++k) {
                views.push_back(moved(c, *ranges, offsets[k]));
                viewNames.push_back("v" + std::to_string(k));
            }
        }
    }
    std::vector<fs::path> backgrounds;
    if (o.background) {
        backgrounds = picturesOf({*o.background}, problems);
        for (const std::string& p : problems) say(p);
        if (!problems.empty()) return 2;
    }

    std::vector<Job> jobs;
    std::set<std::string> names;
    const std::string extension = o.png ? ".png" : ".bmp";
    auto add = [&](std::size_t v, std::optional<fs::path> picture, const std::string& stem) {
        const replay::RecordedCapture& c = views[v];
        std::string file = stemOf(c.file);
        const std::string view = viewNames[v];
        if (!view.empty() && o.name.find("{view}") == std::string::npos) file += "_" + view;
        jobs.push_back({&c, std::move(picture), named(o.name, stem, file, view) + extension, std::nullopt});
    };
    RecordedPictures recorded(workFolder);
    if (pictures.empty())
        for (std::size_t v = 0; v < views.size(); ++v) {
            // The texture it wore, by its digest; a capture whose texture is gone fails when made.
            const replay::RecordedCapture& c = views[v];
            const auto found = c.textureSha256.empty() ? std::nullopt : recorded.find(c.textureSha256);
            add(v, found, found ? base::utf8FromPath(found->stem()) : std::string("recorded"));
        }
    for (const fs::path& p : pictures)
        for (std::size_t v = 0; v < views.size(); ++v) add(v, p, base::utf8FromPath(p.stem()));
    // Backgrounds in turn, or drawn from the seed: by the job's place, so any split draws alike.
    for (std::size_t i = 0; i < jobs.size() && !backgrounds.empty(); ++i)
        jobs[i].background =
            backgrounds[o.seed ? std::mt19937_64(*o.seed * 1000003u + i)() % backgrounds.size()
                               : i % backgrounds.size()];
    // This shard's part: every shards-th job.
    std::vector<Job> mine;
    for (std::size_t i = 0; i < jobs.size(); ++i)
        if (static_cast<int>(i % static_cast<std::size_t>(o.shards)) == o.shard - 1) mine.push_back(jobs[i]);
    for (const Job& j : mine)
        if (!names.insert(j.name).second) {
            say("two samples would both be named " + j.name + ": give pictures of different names");
            return 2;
        }

    fs::create_directories(o.out, ec);
    if (!fs::is_directory(o.out, ec)) {
        say(base::utf8FromPath(o.out) + ": cannot be made");
        return 1;
    }
    const int failedLines = reading.bad.empty() ? 0 : 1;
    if (o.worker >= 0 || (o.jobs == 1) || mine.size() <= 1) {
        const int made = runWorker(o, mine, workFolder, makeRenderer);
        return std::max(made, o.worker >= 0 ? 0 : failedLines);
    }
    const int count = o.jobs ? o.jobs : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int made = runWorkers(o, mine.size(), std::min<int>(count, static_cast<int>(mine.size())));
    return std::max(made, failedLines);
}

}  // namespace replay
