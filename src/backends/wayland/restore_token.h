#pragma once
// The screen-cast restore token between starts: whoever can read it can cast this user's screen
// without being asked, so it lives in a folder only the user may enter (0700), in a file only the
// user may read (0600), whatever the umask; an existing folder or file of ours with wider rights
// is tightened. The file is written through a temporary of a name of its own, created
// exclusively (never through a name someone else placed), then renamed over the old one.
// A file that holds no plain token (too long, not printable ASCII) is passed over with one line,
// and the next token replaces it.
#include <cstddef>
#include <string>

namespace backends::wayland {

class RestoreTokenFile {
public:
    // Far longer than any desktop's token (GNOME's and KDE's are UUIDs).
    static constexpr std::size_t kLimit = 4096;

    // `folder`: where the token is kept; empty keeps none.
    explicit RestoreTokenFile(std::string folder);

    // The token kept, or empty when there is none that can be used.
    std::string read();
    // Keeps `token` in place of the one before. A failure is logged the first time only: the
    // desktop then asks at every start, and one line says why.
    void write(const std::string& token);

    std::string path() const;

private:
    std::string folder_;
    bool writeReported_ = false;
};

// Whether `text` can go to the desktop as a token: 1 to kLimit bytes of printable ASCII.
bool plainToken(const std::string& text);

}  // namespace backends::wayland
