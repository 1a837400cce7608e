#include "capture/numbered_file.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/safe_file.h"
#include "base/utf8.h"

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

#ifdef _WIN32
// Windows opens a device instead of a file when a name, up to its first dot and without the
// spaces before it, is CON, PRN, AUX, NUL, COM0-9 or LPT0-9 (also with ¹ ² ³), in any case. A
// prefix "COM" or "LPT" without a dot becomes such a name with the number after it.
bool windowsDeviceName(std::string_view prefix) {
    const std::size_t dot = prefix.find('.');
    std::string stem(prefix.substr(0, dot));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) return false;
    const std::string_view port = std::string_view(stem).substr(3);
    if (port.empty()) return dot == std::string_view::npos;
    return (port.size() == 1 && port[0] >= '0' && port[0] <= '9') || port == "¹" || port == "²" ||
           port == "³";
}
#endif

// Taken numbers probed one by one before the folder is read instead.
constexpr int kProbesBeforeLooking = 16;

// Calls `found` with the number of every name in the save folder that numberedPath makes for the
// sanitized prefix `stem`.
template <class Found>
void forEachSavedNumber(const std::string& stem, Found found) {
    std::error_code ec;
    for (std::filesystem::directory_iterator entry(base::pathFromUtf8(base::kSaveFolder), ec), end;
         !ec && entry != end; entry.increment(ec)) {
        const std::string name = base::utf8FromPath(entry->path().filename());
        if (name.size() <= stem.size() + 4 || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - 4, 4, ".bmp") != 0)
            continue;
        const std::string_view digits =
            std::string_view(name).substr(stem.size(), name.size() - stem.size() - 4);
        // Only the names numberedPath makes: decimal, no sign, no leading zero.
        if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) continue;
        std::int64_t number = 0;
        bool decimal = true;
        for (const char c : digits) {
            if (c < '0' || c > '9') decimal = false;
            number = number * 10 + (c - '0');
        }
        if (decimal && number <= std::numeric_limits<std::int32_t>::max())
            found(static_cast<std::int32_t>(number));
    }
}

// The first number from `from` on that no name in the save folder holds, as far as one reading
// of the folder tells (the largest number when all are held).
std::int32_t firstFreeNumber(const std::string& stem, std::int32_t from) {
    std::vector<std::int32_t> taken;
    forEachSavedNumber(stem, [&](std::int32_t number) {
        if (number >= from) taken.push_back(number);
    });
    std::sort(taken.begin(), taken.end());
    std::int32_t free = from;
    for (const std::int32_t number : taken) {
        if (number > free) break;
        if (number == free) {
            if (free == std::numeric_limits<std::int32_t>::max()) break;
            ++free;
        }
    }
    return free;
}

NumberedSave failure(std::string path, std::int32_t number, std::string reason) {
    return {number, std::move(path), base::Failure{std::move(reason)}};
}

// Why the save folder cannot be made: the system's reason, except for a symlink that leads
// nowhere, which is "File exists" to mkdir.
std::string folderProblem(const std::filesystem::path& folder, const std::error_code& made) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(folder, ec)) ||
        std::filesystem::exists(std::filesystem::status(folder, ec)))
        return made.message();
    return "it is a symbolic link to \"" + base::utf8FromPath(std::filesystem::read_symlink(folder, ec)) +
           "\", which does not exist";
}

}  // namespace

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
#ifdef _WIN32
    if (windowsDeviceName(out)) out.insert(0, 1, '_');
#endif
    return out;
}

std::string numberedPath(std::string_view prefix, std::int32_t number) {
    std::string path(base::kSaveFolder);
    path += '/';
    path += sanitizePrefix(prefix);
    path += std::to_string(number);
    path += ".bmp";
    return path;
}

std::int32_t numberAfterHighest(std::string_view prefix) {
    std::int64_t highest = -1;
    forEachSavedNumber(sanitizePrefix(prefix), [&](std::int32_t number) {
        if (number > highest) highest = number;
    });
    // Past the last number the counter wraps, as it does when it counts up.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(highest + 1));
}

NumberedSave saveNumbered(std::span<const std::uint8_t> bytes, std::string_view prefix,
                          std::int32_t startNumber) {
    const std::filesystem::path folder = base::pathFromUtf8(base::kSaveFolder);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return failure(base::utf8FromPath(folder), startNumber, folderProblem(folder, ec));

    int takenInARow = 0;
    for (std::int32_t number = startNumber;; ++number) {
        std::string name = numberedPath(prefix, number);
        const std::filesystem::path path = base::pathFromUtf8(name);
        // Skipping known names is only a shortcut; the exclusive write settles any race.
        const bool taken = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        if (!taken) {
            const auto written = base::writeFileExclusive(path, bytes);
            if (!written) return failure(std::move(name), number, written.error());
            if (*written == base::ExclusiveWrite::Written) return {number, std::move(name), base::Done{}};
        }
        if (number == std::numeric_limits<std::int32_t>::max())
            return failure(numberedPath(prefix, startNumber), startNumber,
                           "every file number from here on is taken");
        // A long run of taken numbers (a folder saved full before this start): one look at the
        // folder finds the first free one, where probing name by name would take as long as
        // the run.
        if (++takenInARow == kProbesBeforeLooking)
            number = firstFreeNumber(sanitizePrefix(prefix), number + 1) - 1;
    }
}

}  // namespace capture
