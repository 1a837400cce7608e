#pragma once
// The user's session bus as the desktop portal's client: calls of portal methods that answer
// through a Request object, each with a time limit, so that no call can hang the program.
// Not thread-safe: one caller at a time.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/result.h"

typedef struct sd_bus sd_bus;

namespace backends::wayland {

using OptionValue = std::variant<std::string, std::uint32_t, bool>;
using Options = std::vector<std::pair<std::string, OptionValue>>;

struct PortalCall {
    const char* interface;
    const char* method;
    std::optional<std::string> session;       // the leading session handle, if the method takes one
    std::optional<std::string> parentWindow;  // the parent window argument, if the method takes one
    Options options;
};

struct CastStream {
    std::uint32_t node = 0;
    std::optional<std::pair<int, int>> position;
    std::optional<std::pair<int, int>> size;
};

// What a Request answered: its code (0 granted, 1 refused by the user, 2 ended otherwise) and
// the results nukitori uses.
struct PortalResponse {
    std::uint32_t code = 2;
    std::string sessionHandle;
    std::string restoreToken;
    std::string uri;
    std::vector<CastStream> streams;
};

class PortalBus {
public:
    static base::Result<std::unique_ptr<PortalBus>> connect();
    ~PortalBus();
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    // The version of a portal interface, 0 when the desktop does not offer it.
    std::uint32_t interfaceVersion(const char* interface);
    // Calls the method and waits at most `limit` for its Request's answer; `whileWaiting`, if
    // given, is called every kWaitTick meanwhile.
    base::Result<PortalResponse> request(const PortalCall& call, std::chrono::milliseconds limit,
                                         const std::function<void()>& whileWaiting = {});
    static constexpr auto kWaitTick = std::chrono::milliseconds(40);
    // The PipeWire connection through which a started screen-cast session streams.
    base::Result<int> openPipeWireRemote(const std::string& session);
    void closeSession(const std::string& session);

private:
    explicit PortalBus(sd_bus* bus) : bus_(bus) {}
    sd_bus* bus_;
    unsigned requests_ = 0;
};

}  // namespace backends::wayland
