#include "capture/numbered_file.h"

#include <limits>
#include <system_error>

#include "base/utf8.h"
#include "capture/safe_file.h"

namespace capture {
namespace {

bool forbiddenAscii(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

SaveResult failure(std::string path, std::int32_t number, std::string reason) {
    return {false, number, std::move(path), std::move(reason)};
}

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string sanitizePrefix(std::string_view prefix) {
    // Dot-only names mean "this folder" and "the parent" to every tool that splits paths.
    if (prefix == "." || prefix == "..") return "_";
    std::string out;
    out.reserve(prefix.size());
    for (std::size_t i = 0; i < prefix.size();) {
        const std::size_t length = base::utf8SequenceLength(prefix, i);
        if (length == 0) {
            out += '_';
            ++i;
        } else if (length == 1) {
            const auto c = static_cast<unsigned char>(prefix[i]);
            out += forbiddenAscii(c) ? '_' : static_cast<char>(c);
            ++i;
        } else {
            out.append(prefix.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string numberedPath(std::string_view prefix, std::int32_t number) {
    std::string path(kSaveFolderName);
    path += '/';
    path += sanitizePrefix(prefix);
    path += std::to_string(number);
    path += ".bmp";
    return path;
}

SaveResult saveNumbered(std::span<const std::uint8_t> bytes, std::string_view prefix,
                        std::int32_t startNumber) {
    const std::filesystem::path folder = pathFromUtf8(kSaveFolderName);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return failure(utf8FromPath(folder), startNumber, ec.message());

    for (std::int32_t number = startNumber;; ++number) {
        std::string name = numberedPath(prefix, number);
        const std::filesystem::path path = pathFromUtf8(name);
        // Skipping known names is only a shortcut; the exclusive write settles any race.
        const bool taken = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        if (!taken) {
            const FileWriteResult written = writeFileExclusive(path, bytes);
            if (written.ok()) return {true, number, std::move(name), {}};
            if (written.status == WriteStatus::Failed) return failure(std::move(name), number, written.error);
        }
        if (number == std::numeric_limits<std::int32_t>::max())
            return failure(numberedPath(prefix, startNumber), startNumber,
                           "every file number from here on is taken");
    }
}

}  // namespace capture
