#include "backends/wayland/portal_screen.h"

#include <ctime>

#include "backends/wayland/pipewire_stream.h"
#include "backends/wayland/portal_bus.h"
#include "backends/wayland/screenshot_file.h"
#include "base/log.h"
#include "base/uri.h"

namespace backends::wayland {

namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kScreenshot = "org.freedesktop.portal.Screenshot";
// Answers the desktop gives by itself; a question to the user may take longer.
constexpr auto kQuickAnswer = std::chrono::seconds(10);
constexpr auto kUserAnswer = std::chrono::seconds(60);
constexpr auto kFirstFrame = std::chrono::seconds(5);
constexpr std::uint32_t kMonitor = 1;
constexpr std::uint32_t kPersistUntilRevoked = 2;

std::string refusal(const PortalResponse& response, const char* what) {
    if (response.code == 1) return std::string("the user declined ") + what;
    return std::string("the desktop could not give ") + what;
}

}  // namespace

PortalScreen::PortalScreen(platform::ImageDecoder& decoder, int rootWidth, int rootHeight,
                           std::string tokenFolder, std::string picturesFolder)
    : decoder_(decoder),
      rootWidth_(rootWidth),
      rootHeight_(rootHeight),
      picturesFolder_(std::move(picturesFolder)),
      token_(std::move(tokenFolder)) {
    watcher_ = std::thread([this] { watchIdle(); });
}

PortalScreen::~PortalScreen() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    watcher_.join();
    stopCast();
}

void PortalScreen::watchQuestions(platform::ScreenQuestionWatcher* watcher) {
    std::lock_guard lock(mutex_);
    questions_ = watcher;
}

base::Result<PortalResponse> PortalScreen::askUser(const PortalCall& call) {
    const auto asked = std::chrono::steady_clock::now();
    bool told = false;
    auto answer = bus_->request(call, kUserAnswer, [&] {
        if (!questions_) return;
        if (!told && std::chrono::steady_clock::now() - asked >= kQuestionShown) {
            told = true;
            questions_->questionAsked();
        }
        if (told) questions_->whileAsked();
    });
    if (told) questions_->questionAnswered();
    return answer;
}

base::Status PortalScreen::connectBus() {
    if (bus_) return base::Done{};
    auto bus = PortalBus::connect();
    if (!bus) return bus.failure();
    bus_ = std::move(*bus);
    return base::Done{};
}

base::Status PortalScreen::startCast() {
    if (auto connected = connectBus(); !connected) return connected;
    const std::uint32_t version = bus_->interfaceVersion(kScreenCast);
    if (version == 0) return base::Failure{"the desktop offers no screen casting"};

    auto created = bus_->request(
        {kScreenCast, "CreateSession", {}, {}, {{"session_handle_token", std::string("nukitori")}}},
        kQuickAnswer);
    if (!created) return created.failure();
    if (created->code != 0 || created->sessionHandle.empty())
        return base::Failure{refusal(*created, "a screen-casting session")};
    session_ = created->sessionHandle;
    const auto failed = [this](std::string why) -> base::Status {
        stopCast();
        return base::Failure{std::move(why)};
    };

    Options sources{{"types", kMonitor}, {"multiple", false}};
    if (version >= 4) {
        sources.emplace_back("persist_mode", kPersistUntilRevoked);
        if (const std::string token = token_.read(); !token.empty())
            sources.emplace_back("restore_token", token);
    }
    auto selected = bus_->request({kScreenCast, "SelectSources", session_, {}, sources}, kQuickAnswer);
    if (!selected) return failed(selected.error());
    if (selected->code != 0) return failed(refusal(*selected, "the choice of a monitor"));

    auto started = askUser({kScreenCast, "Start", session_, std::string(), {}});
    if (!started) return failed(started.error());
    if (started->code != 0) return failed(refusal(*started, "the screen to cast"));
    if (started->streams.empty()) return failed("the desktop started no screen stream");
    // Each token serves one start; the answer brings the next.
    if (!started->restoreToken.empty()) token_.write(started->restoreToken);

    const CastStream& cast = started->streams.front();
    auto remote = bus_->openPipeWireRemote(session_);
    if (!remote) return failed(remote.error());
    auto stream = PipeWireStream::open(*remote, cast.node, kFirstFrame);
    if (!stream) return failed(stream.error());
    stream_ = std::move(*stream);
    place_ = {};
    if (cast.position) place_.x = cast.position->first, place_.y = cast.position->second;
    if (cast.size) place_.width = cast.size->first, place_.height = cast.size->second;
    return base::Done{};
}

void PortalScreen::stopCast() {
    stream_.reset();
    if (bus_ && !session_.empty()) bus_->closeSession(session_);
    session_.clear();
}

base::Result<base::Image> PortalScreen::readCast(int x, int y, int width, int height) {
    if (!stream_) {
        if (auto started = startCast(); !started) return started.failure();
        wake_.notify_all();  // the idle watch starts
    }
    base::Image image;
    auto read = stream_->withFrame([&](const FrameView& frame) {
        DesktopPlace place = place_;
        // A stream that does not say where it lies covers the desktop from its corner, pixel for pixel.
        if (place.width <= 0 || place.height <= 0) place.width = frame.width, place.height = frame.height;
        image = readFrame(frame, place, x, y, width, height);
    });
    if (!read) {
        stopCast();
        return read.failure();
    }
    return image;
}

base::Result<base::Image> PortalScreen::readScreenshot(int x, int y, int width, int height) {
    if (auto connected = connectBus(); !connected) return connected.failure();
    if (bus_->interfaceVersion(kScreenshot) == 0) return base::Failure{"the desktop offers no screenshots"};
    const std::time_t askedAt = std::time(nullptr);
    auto shot = askUser({kScreenshot, "Screenshot", {}, std::string(), {{"interactive", false}}});
    if (!shot) return shot.failure();
    if (shot->code != 0) return base::Failure{refusal(*shot, "a screenshot")};
    const std::string path = base::localFilePath(shot->uri);
    if (path.empty()) return base::Failure{"the screenshot is not a local file: " + shot->uri};
    auto picture = takeScreenshotFile(decoder_, path, picturesFolder_, askedAt);
    if (!picture) return base::Failure{"the screenshot cannot be read: " + picture.error()};
    // Decoded pixels are 0xAARRGGBB words: blue first in memory.
    const FrameView frame{reinterpret_cast<const std::uint8_t*>(picture->pixels.data()), picture->width,
                          picture->height, picture->width * 4, PixelFormat::BGRA};
    return readFrame(frame, {0, 0, rootWidth_, rootHeight_}, x, y, width, height);
}

base::Result<base::Image> PortalScreen::read(int x, int y, int width, int height) {
    std::lock_guard lock(mutex_);
    lastRead_ = std::chrono::steady_clock::now();
    if (auto connected = connectBus(); !connected)
        return base::Failure{"the desktop portal cannot be reached (" + connected.error() + ")"};
    std::string castFailure;
    if (!screenshotsOnly_) {
        auto cast = readCast(x, y, width, height);
        lastRead_ = std::chrono::steady_clock::now();
        if (cast) return cast;
        castFailure = cast.error();
    }
    auto shot = readScreenshot(x, y, width, height);
    lastRead_ = std::chrono::steady_clock::now();
    if (shot) {
        if (!screenshotsOnly_)
            base::logLine("nukitori: screen casting failed (" + castFailure +
                          "); grabs and captures take portal screenshots, which is slower");
        screenshotsOnly_ = true;
        return shot;
    }
    // The next read asks again, on a fresh connection.
    screenshotsOnly_ = false;
    bus_.reset();
    if (castFailure.empty()) return base::Failure{"the desktop portal gave no screenshot: " + shot.error()};
    return base::Failure{"the desktop portal gave no picture of the screen: " + castFailure + "; " +
                         shot.error()};
}

void PortalScreen::watchIdle() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (!stream_) {
            wake_.wait(lock);
            continue;
        }
        const auto stopAt = lastRead_ + kIdleStop;
        if (std::chrono::steady_clock::now() >= stopAt) {
            stopCast();
            continue;
        }
        wake_.wait_until(lock, stopAt);
    }
}

}  // namespace backends::wayland
