#include "backends/wayland/portal_bus.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace backends::wayland {

namespace {

constexpr const char* kDestination = "org.freedesktop.portal.Desktop";
constexpr const char* kObject = "/org/freedesktop/portal/desktop";
// Plain calls answer at once; a portal started on demand takes a moment more.
constexpr std::uint64_t kCallMicroseconds = 10'000'000;

std::string busError(const sd_bus_error& error, int code) {
    if (sd_bus_error_is_set(&error)) return std::string(error.message ? error.message : error.name);
    return std::strerror(-code);
}

class ErrorHolder {
public:
    ~ErrorHolder() { sd_bus_error_free(&error); }
    sd_bus_error error = SD_BUS_ERROR_NULL;
};

struct MessageRef {
    sd_bus_message* m = nullptr;
    ~MessageRef() { sd_bus_message_unref(m); }
};

int appendOptions(sd_bus_message* m, const Options& options) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& [key, value] : options) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) r = sd_bus_message_append(m, "s", key.c_str());
        if (r >= 0) {
            if (const auto* text = std::get_if<std::string>(&value)) {
                r = sd_bus_message_append(m, "v", "s", text->c_str());
            } else if (const auto* number = std::get_if<std::uint32_t>(&value)) {
                r = sd_bus_message_append(m, "v", "u", *number);
            } else {
                r = sd_bus_message_append(m, "v", "b", std::get<bool>(value) ? 1 : 0);
            }
        }
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

// A variant holding a string, or nothing when it holds something else.
int readTextVariant(sd_bus_message* m, std::string& out) {
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, nullptr, &contents);
    if (r < 0) return r;
    if (!contents || (std::strcmp(contents, "s") != 0 && std::strcmp(contents, "o") != 0))
        return sd_bus_message_skip(m, "v");
    const char* text = nullptr;
    r = sd_bus_message_read(m, "v", contents, &text);
    if (r >= 0 && text) out = text;
    return r;
}

int readStreams(sd_bus_message* m, std::vector<CastStream>& streams) {
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, nullptr, &contents);
    if (r < 0) return r;
    if (!contents || std::strcmp(contents, "a(ua{sv})") != 0) return sd_bus_message_skip(m, "v");
    if ((r = sd_bus_message_enter_container(m, 'v', contents)) < 0) return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "(ua{sv})")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'r', "ua{sv}")) > 0) {
        CastStream stream;
        if ((r = sd_bus_message_read(m, "u", &stream.node)) < 0) return r;
        if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
        while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
            const char* key = nullptr;
            if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
            const char* type = nullptr;
            if ((r = sd_bus_message_peek_type(m, nullptr, &type)) < 0) return r;
            const bool pair = type && std::strcmp(type, "(ii)") == 0;
            if (pair && (std::strcmp(key, "position") == 0 || std::strcmp(key, "size") == 0)) {
                int a = 0, b = 0;
                if ((r = sd_bus_message_read(m, "v", "(ii)", &a, &b)) < 0) return r;
                (key[0] == 'p' ? stream.position : stream.size) = std::make_pair(a, b);
            } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
                return r;
            }
            if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        }
        if (r < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        streams.push_back(stream);
    }
    if (r < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    return sd_bus_message_exit_container(m);
}

int readResponse(sd_bus_message* m, PortalResponse& response) {
    int r = sd_bus_message_read(m, "u", &response.code);
    if (r < 0) return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
        const std::string name = key ? key : "";
        if (name == "session_handle") {
            r = readTextVariant(m, response.sessionHandle);
        } else if (name == "restore_token") {
            r = readTextVariant(m, response.restoreToken);
        } else if (name == "uri") {
            r = readTextVariant(m, response.uri);
        } else if (name == "streams") {
            r = readStreams(m, response.streams);
        } else {
            r = sd_bus_message_skip(m, "v");
        }
        if (r < 0) return r;
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    return r;
}

struct Pending {
    bool answered = false;
    int parseResult = 0;
    PortalResponse response;
};

int onResponse(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    if (pending->answered) return 0;
    pending->answered = true;
    pending->parseResult = readResponse(m, pending->response);
    return 0;
}

}  // namespace

base::Result<std::unique_ptr<PortalBus>> PortalBus::connect() {
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0)
        return base::Failure{std::string("no session bus: ") + std::strerror(-r)};
    sd_bus_set_method_call_timeout(bus, kCallMicroseconds);
    return std::unique_ptr<PortalBus>(new PortalBus(bus));
}

PortalBus::~PortalBus() {
    sd_bus_flush_close_unref(bus_);
}

std::uint32_t PortalBus::interfaceVersion(const char* interface) {
    ErrorHolder error;
    MessageRef reply;
    // The version property tells whether the interface is there at all.
    const int r = sd_bus_call_method(bus_, kDestination, kObject, "org.freedesktop.DBus.Properties", "Get",
                                     &error.error, &reply.m, "ss", interface, "version");
    if (r < 0) return 0;
    std::uint32_t version = 0;
    if (sd_bus_message_read(reply.m, "v", "u", &version) < 0) return 0;
    return version;
}

base::Result<PortalResponse> PortalBus::request(const PortalCall& call, std::chrono::milliseconds limit,
                                                const std::function<void()>& whileWaiting) {
    const char* unique = nullptr;
    if (const int r = sd_bus_get_unique_name(bus_, &unique); r < 0)
        return base::Failure{std::string("the session bus gave no name: ") + std::strerror(-r)};
    // The answer may come before the call returns its Request, so the match is made first, on
    // the path the portal will give it.
    const std::string token = "nukitori" + std::to_string(++requests_);
    std::string sender = unique + 1;
    for (char& c : sender)
        if (c == '.') c = '_';
    const std::string path = std::string(kObject) + "/request/" + sender + "/" + token;

    Pending pending;
    sd_bus_slot* slot = nullptr;
    if (const int r = sd_bus_match_signal(bus_, &slot, nullptr, path.c_str(),
                                          "org.freedesktop.portal.Request", "Response", onResponse, &pending);
        r < 0)
        return base::Failure{std::string("cannot watch the portal's answer: ") + std::strerror(-r)};
    struct SlotRef {
        sd_bus_slot* s;
        ~SlotRef() { sd_bus_slot_unref(s); }
    } slotRef{slot}, otherRef{nullptr};

    MessageRef message;
    int r =
        sd_bus_message_new_method_call(bus_, &message.m, kDestination, kObject, call.interface, call.method);
    if (r >= 0 && call.session) r = sd_bus_message_append(message.m, "o", call.session->c_str());
    if (r >= 0 && call.parentWindow) r = sd_bus_message_append(message.m, "s", call.parentWindow->c_str());
    Options options = call.options;
    options.emplace_back("handle_token", token);
    if (r >= 0) r = appendOptions(message.m, options);
    if (r < 0) return base::Failure{std::string("cannot build the portal call: ") + std::strerror(-r)};

    ErrorHolder error;
    MessageRef reply;
    if (r = sd_bus_call(bus_, message.m, kCallMicroseconds, &error.error, &reply.m); r < 0)
        return base::Failure{std::string(call.method) + " failed: " + busError(error.error, r)};
    const char* handle = nullptr;
    if (sd_bus_message_read(reply.m, "o", &handle) >= 0 && handle && path != handle) {
        // An old portal names its Request its own way: watch that one as well.
        sd_bus_match_signal(bus_, &otherRef.s, nullptr, handle, "org.freedesktop.portal.Request", "Response",
                            onResponse, &pending);
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pending.answered) {
        r = sd_bus_process(bus_, nullptr);
        if (r < 0) return base::Failure{std::string("the session bus broke: ") + std::strerror(-r)};
        if (r > 0) continue;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            // Withdrawn, so that a dialog still open goes away.
            sd_bus_call_method(bus_, kDestination, handle ? handle : path.c_str(),
                               "org.freedesktop.portal.Request", "Close", nullptr, nullptr, "");
            return base::Failure{std::string(call.method) + " got no answer within " +
                                 std::to_string(limit.count() / 1000) + " s"};
        }
        const auto wait = whileWaiting ? std::min<std::chrono::steady_clock::duration>(left, kWaitTick) : left;
        sd_bus_wait(bus_, static_cast<std::uint64_t>(
                              std::chrono::duration_cast<std::chrono::microseconds>(wait).count()));
        if (whileWaiting) whileWaiting();
    }
    if (pending.parseResult < 0)
        return base::Failure{std::string("the portal's answer to ") + call.method + " cannot be read"};
    return pending.response;
}

base::Result<int> PortalBus::openPipeWireRemote(const std::string& session) {
    ErrorHolder error;
    MessageRef reply;
    int r = sd_bus_call_method(bus_, kDestination, kObject, "org.freedesktop.portal.ScreenCast",
                               "OpenPipeWireRemote", &error.error, &reply.m, "oa{sv}", session.c_str(), 0);
    if (r < 0) return base::Failure{"OpenPipeWireRemote failed: " + busError(error.error, r)};
    int fd = -1;
    if ((r = sd_bus_message_read(reply.m, "h", &fd)) < 0)
        return base::Failure{"OpenPipeWireRemote gave no connection"};
    // The reply owns its descriptor.
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0)
        return base::Failure{std::string("cannot keep the PipeWire connection: ") + std::strerror(errno)};
    return own;
}

void PortalBus::closeSession(const std::string& session) {
    sd_bus_call_method(bus_, kDestination, session.c_str(), "org.freedesktop.portal.Session", "Close",
                       nullptr, nullptr, "");
}

}  // namespace backends::wayland
