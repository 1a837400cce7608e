#include "model/xfile/xfile_mszip.h"

#include <zlib.h>

#include <algorithm>
#include <string>

#include "base/byte_order.h"
#include "model/model_paths.h"
#include "model/xfile/xfile_header.h"

namespace model::xfile {

namespace {

constexpr std::size_t kHistorySize = 32768;
// The declared size is only trusted as far as typical compression ratios go; beyond that the
// output grows with the data that really decompresses.
constexpr std::size_t kTypicalRatio = 8;

std::uint32_t readLe(std::span<const std::uint8_t> data, std::size_t pos, std::size_t bytes) {
    return static_cast<std::uint32_t>(base::readLittleEndian(data.data(), pos, bytes));
}

base::Failure failureAt(std::size_t offset, const std::string& message) {
    return {"byte offset " + std::to_string(offset) + ": " + message};
}

class RawInflater {
public:
    RawInflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~RawInflater() {
        if (ok_) inflateEnd(&stream_);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // Inflates `input` into exactly `output`; false when the data is bad or does not fill it.
    bool run(std::span<const std::uint8_t> history, std::span<const std::uint8_t> input,
             std::span<std::uint8_t> output) {
        if (!ok_) return false;
        if (!history.empty() &&
            inflateSetDictionary(&stream_, history.data(), static_cast<uInt>(history.size())) != Z_OK) {
            return false;
        }
        stream_.next_in = const_cast<Bytef*>(input.data());
        stream_.avail_in = static_cast<uInt>(input.size());
        stream_.next_out = output.data();
        stream_.avail_out = static_cast<uInt>(output.size());
        const int status = inflate(&stream_, Z_SYNC_FLUSH);
        if (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR) return false;
        return stream_.avail_out == 0;
    }

private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace

base::Result<std::vector<std::uint8_t>> decompressXFileBody(std::span<const std::uint8_t> file) {
    std::size_t pos = kXFileHeaderSize;
    if (file.size() < pos + 4)
        return failureAt(file.size(), "the compressed file ends before its decompressed size");
    const std::uint32_t total = readLe(file, pos, 4);
    if (total < kXFileHeaderSize)
        return failureAt(pos, "decompressed size " + std::to_string(total) + " is smaller than the header");
    if (total > kMaxModelFileBytes)
        return failureAt(pos, "decompressed size " + std::to_string(total) +
                                  " is larger than any model file (" + std::to_string(kMaxModelFileBytes) +
                                  " bytes)");
    pos += 4;
    const std::size_t expected = total - kXFileHeaderSize;
    std::vector<std::uint8_t> body;
    body.reserve(std::min(expected, (file.size() - pos) * kTypicalRatio));

    while (body.size() < expected) {
        if (file.size() - pos < 4) {
            return failureAt(file.size(), "the compressed data ends after " + std::to_string(body.size()) +
                                              " of " + std::to_string(expected) + " bytes");
        }
        const std::size_t blockStart = pos;
        const std::uint32_t blockSize = readLe(file, pos, 2);
        const std::uint32_t packedSize = readLe(file, pos + 2, 2);
        pos += 4;
        if (packedSize < 2 || file.size() - pos < packedSize) {
            return failureAt(blockStart, "compressed block of " + std::to_string(packedSize) +
                                             " bytes does not fit in the file");
        }
        if (file[pos] != 'C' || file[pos + 1] != 'K') {
            return failureAt(pos, "compressed block without its \"CK\" signature");
        }
        if (blockSize == 0 || blockSize > expected - body.size()) {
            return failureAt(blockStart, "compressed block of " + std::to_string(blockSize) +
                                             " bytes does not fit the decompressed size");
        }
        const std::size_t done = body.size();
        body.resize(done + blockSize);
        const std::size_t historyBytes = std::min(done, kHistorySize);
        RawInflater inflater;
        const bool ok =
            inflater.run(std::span(body).subspan(done - historyBytes, historyBytes),
                         file.subspan(pos + 2, packedSize - 2), std::span(body).subspan(done, blockSize));
        if (!ok) return failureAt(pos, "compressed block is damaged");
        pos += packedSize;
    }
    return body;
}

}  // namespace model::xfile
