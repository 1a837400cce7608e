#include "backends/wayland/pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace backends::wayland {

struct PipeWireStream::State {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    spa_hook coreListener{};

    // Written on PipeWire's thread, read by the program's.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint8_t> pixels;
    FrameView frame;  // its data points into `pixels`
    PixelFormat negotiated = PixelFormat::BGRx;
    int negotiatedWidth = 0, negotiatedHeight = 0;
    bool haveFrame = false;
    std::string broken;

    void fail(std::string why) {
        std::lock_guard lock(mutex);
        if (broken.empty()) broken = std::move(why);
        changed.notify_all();
    }

    ~State() {
        if (loop) pw_thread_loop_stop(loop);
        if (stream) pw_stream_destroy(stream);
        if (core) pw_core_disconnect(core);
        if (context) pw_context_destroy(context);
        if (loop) pw_thread_loop_destroy(loop);
    }
};

namespace {

// The shared-memory formats nukitori reads, as PipeWire names them.
constexpr std::pair<std::uint32_t, PixelFormat> kFormats[] = {{SPA_VIDEO_FORMAT_BGRx, PixelFormat::BGRx},
                                                              {SPA_VIDEO_FORMAT_RGBx, PixelFormat::RGBx},
                                                              {SPA_VIDEO_FORMAT_BGRA, PixelFormat::BGRA},
                                                              {SPA_VIDEO_FORMAT_RGBA, PixelFormat::RGBA},
                                                              {SPA_VIDEO_FORMAT_xRGB, PixelFormat::xRGB}};

bool formatOf(std::uint32_t video, PixelFormat& format) {
    for (const auto& [name, ours] : kFormats)
        if (name == video) {
            format = ours;
            return true;
        }
    return false;
}

void onParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* state = static_cast<PipeWireStream::State*>(data);
    if (id != SPA_PARAM_Format || !param) return;
    spa_video_info_raw info{};
    PixelFormat format{};
    if (spa_format_video_raw_parse(param, &info) < 0 || !formatOf(info.format, format)) {
        state->fail("the stream's picture format cannot be read");
        return;
    }
    {
        std::lock_guard lock(state->mutex);
        state->negotiated = format;
        state->negotiatedWidth = static_cast<int>(info.size.width);
        state->negotiatedHeight = static_cast<int>(info.size.height);
    }
    // Shared memory only: a device buffer would need a GPU to read.
    std::uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))))};
    pw_stream_update_params(state->stream, params, 1);
}

void onProcess(void* data) {
    auto* state = static_cast<PipeWireStream::State*>(data);
    // Only the newest frame matters; older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(state->stream)) {
        if (newest) pw_stream_queue_buffer(state->stream, newest);
        newest = buffer;
    }
    if (!newest) return;
    const spa_buffer* buffer = newest->buffer;
    if (buffer->n_datas >= 1 && buffer->datas[0].data && buffer->datas[0].chunk) {
        const spa_data& plane = buffer->datas[0];
        const spa_chunk& chunk = *plane.chunk;
        std::lock_guard lock(state->mutex);
        const int width = state->negotiatedWidth, height = state->negotiatedHeight;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        const std::size_t stride = chunk.stride > 0 ? static_cast<std::size_t>(chunk.stride) : rowBytes;
        const std::size_t needed = height > 0 ? chunk.offset + stride * (height - 1) + rowBytes : 0;
        const bool whole = width > 0 && height > 0 && stride >= rowBytes && needed <= plane.maxsize &&
                           (chunk.flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 && chunk.size > 0;
        if (whole) {
            state->pixels.resize(rowBytes * static_cast<std::size_t>(height));
            const auto* in = static_cast<const std::uint8_t*>(plane.data) + chunk.offset;
            if (stride == rowBytes) {
                std::memcpy(state->pixels.data(), in, state->pixels.size());
            } else {
                for (int row = 0; row < height; ++row)
                    std::memcpy(state->pixels.data() + row * rowBytes, in + row * stride, rowBytes);
            }
            state->frame =
                FrameView{state->pixels.data(), width, height, static_cast<int>(rowBytes), state->negotiated};
            state->haveFrame = true;
            state->changed.notify_all();
        }
    }
    pw_stream_queue_buffer(state->stream, newest);
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state now, const char* error) {
    auto* state = static_cast<PipeWireStream::State*>(data);
    if (now == PW_STREAM_STATE_ERROR)
        state->fail(std::string("the screen stream failed: ") + (error ? error : "no reason given"));
    else if (now == PW_STREAM_STATE_UNCONNECTED)
        state->fail("the screen stream ended");
}

void onCoreError(void* data, std::uint32_t id, int, int, const char* message) {
    if (id != PW_ID_CORE) return;
    static_cast<PipeWireStream::State*>(data)->fail(std::string("PipeWire failed: ") +
                                                    (message ? message : "no reason given"));
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}();

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = onCoreError;
    return events;
}();

}  // namespace

PipeWireStream::PipeWireStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

PipeWireStream::~PipeWireStream() = default;

base::Result<std::unique_ptr<PipeWireStream>> PipeWireStream::open(int fd, std::uint32_t node,
                                                                   std::chrono::milliseconds limit) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

    auto state = std::make_unique<State>();
    state->loop = pw_thread_loop_new("nukitori-screen", nullptr);
    if (!state->loop) {
        close(fd);
        return base::Failure{"cannot start PipeWire's thread"};
    }
    state->context = pw_context_new(pw_thread_loop_get_loop(state->loop), nullptr, 0);
    if (!state->context) {
        close(fd);
        return base::Failure{"cannot start PipeWire"};
    }
    if (pw_thread_loop_start(state->loop) < 0) {
        close(fd);
        return base::Failure{"cannot start PipeWire's thread"};
    }

    pw_thread_loop_lock(state->loop);
    // The core owns the descriptor from here, also when connecting fails.
    state->core = pw_context_connect_fd(state->context, fd, nullptr, 0);
    int connected = -1;
    if (state->core) {
        pw_core_add_listener(state->core, &state->coreListener, &kCoreEvents, state.get());
        state->stream = pw_stream_new(state->core, "nukitori screen",
                                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    }
    if (state->stream) {
        pw_stream_add_listener(state->stream, &state->streamListener, &kStreamEvents, state.get());
        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size{1920, 1080}, smallest{1, 1}, largest{16384, 16384};
        spa_fraction rate{60, 1}, slowest{0, 1}, fastest{1000, 1};
        const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(6, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)))};
        connected = pw_stream_connect(
            state->stream, PW_DIRECTION_INPUT, node,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    }
    pw_thread_loop_unlock(state->loop);
    if (!state->core) return base::Failure{"cannot connect to PipeWire"};
    if (connected < 0) return base::Failure{"cannot receive the screen stream"};

    std::unique_lock lock(state->mutex);
    if (!state->changed.wait_for(lock, limit, [&] { return state->haveFrame || !state->broken.empty(); }))
        return base::Failure{"the screen stream sent no picture within " +
                             std::to_string(limit.count() / 1000) + " s"};
    if (!state->broken.empty()) return base::Failure{state->broken};
    lock.unlock();
    return std::unique_ptr<PipeWireStream>(new PipeWireStream(std::move(state)));
}

base::Status PipeWireStream::withFrame(const std::function<void(const FrameView&)>& use) {
    std::lock_guard lock(state_->mutex);
    if (!state_->broken.empty()) return base::Failure{state_->broken};
    use(state_->frame);
    return base::Done{};
}

}  // namespace backends::wayland
