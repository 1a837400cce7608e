#pragma once
// A PipeWire video stream of the screen, received on PipeWire's own thread into shared memory;
// the newest frame is kept, so a read costs the copy of the asked rectangle only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "backends/wayland/stream_frame.h"
#include "base/result.h"

namespace backends::wayland {

class PipeWireStream {
public:
    // Receives node `node` through the connection `fd` (taken over, closed on failure) and
    // waits at most `limit` for the first frame.
    static base::Result<std::unique_ptr<PipeWireStream>> open(int fd, std::uint32_t node,
                                                              std::chrono::milliseconds limit);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Runs `use` on the newest frame, which stays unchanged meanwhile; fails once the stream
    // has broken (the session ended, the producer went away).
    base::Status withFrame(const std::function<void(const FrameView&)>& use);

    struct State;

private:
    explicit PipeWireStream(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace backends::wayland
