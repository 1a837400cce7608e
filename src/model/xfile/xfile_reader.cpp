#include "model/xfile/xfile_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "base/file_bytes.h"
#include "model/model_paths.h"
#include "model/xfile/xfile_header.h"
#include "model/xfile/xfile_mesh_builder.h"
#include "model/xfile/xfile_mszip.h"
#include "model/xfile/xfile_parser.h"
#include "model/xfile/xfile_tokenizer.h"

namespace model::xfile {

namespace {

base::Failure failure(std::string message) {
    return {std::move(message)};
}

// The scene from the tokens, then the mesh from the scene; any failure becomes the result.
template <class MakeTokenizer>
XFileResult readBody(MakeTokenizer makeTokenizer) {
    try {
        const std::unique_ptr<XTokenizer> tokens = makeTokenizer();
        const XFileScene scene = parseXFileScene(*tokens);
        if (scene.meshes.empty())
            return failure(tokens->describePlace(tokens->next().place) + ": the file holds no Mesh");
        base::MeshData mesh = buildMeshData(scene);
        if (mesh.triangleCount() == 0) return failure("the meshes of the file hold no triangles");
        return mesh;
    } catch (const XFileSyntaxError& e) {
        return failure(e.what());
    } catch (const std::bad_alloc&) {
        return failure("not enough memory for the mesh");
    } catch (const std::exception& e) {
        return failure(std::string("cannot read the mesh: ") + e.what());
    }
}

// The body of a binary file, read from the file a piece at a time as the tokens need it.
class FileSource final : public ByteSource {
public:
    FileSource(std::ifstream& in, std::size_t size) : in_(in), size_(size) {}
    std::size_t size() const override { return size_; }
    const std::uint8_t* bytes(std::size_t at, std::size_t count) override {
        if (at < start_ || at + count > start_ + buffer_.size()) fill(at, count);
        return buffer_.data() + (at - start_);
    }

private:
    static constexpr std::size_t kPiece = std::size_t{1} << 20;

    void fill(std::size_t at, std::size_t count) {
        const std::size_t length = std::min(std::max(count, kPiece), size_ - at);
        buffer_.resize(length);
        in_.seekg(static_cast<std::streamoff>(kXFileHeaderSize + at));
        in_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(length));
        if (!in_)
            throw XFileSyntaxError("byte offset " + std::to_string(kXFileHeaderSize + at) +
                                   ": the file could not be read");
        start_ = at;
    }

    std::ifstream& in_;
    std::size_t size_;
    std::size_t start_ = 0;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

XFileResult parseXFile(std::span<const std::uint8_t> data) {
    const base::Result<XFileHeader> header = parseXFileHeader(data);
    if (!header) return header.failure();

    std::vector<std::uint8_t> decompressed;
    std::span<const std::uint8_t> body = data.subspan(kXFileHeaderSize);
    if (header->compressed) {
        try {
            base::Result<std::vector<std::uint8_t>> unpacked = decompressXFileBody(data);
            if (!unpacked) return unpacked.failure();
            decompressed = std::move(*unpacked);
        } catch (const std::bad_alloc&) {
            return failure("not enough memory to decompress the file");
        }
        body = decompressed;
    }

    return readBody([&] {
        return header->encoding == XFileEncoding::Text
                   ? makeTextTokenizer(body)
                   : makeBinaryTokenizer(body, header->floatBytes, header->compressed);
    });
}

XFileResult readXFile(const std::string& path) {
    // Before it is opened: a FIFO or a device would keep the open or the read waiting.
    if (const base::Status file = checkModelFile(path); !file) return file.failure();
    // Paths are UTF-8 on every platform; the u8 form keeps Japanese names intact on Windows.
    std::ifstream in(base::pathFromUtf8(path), std::ios::binary);
    if (!in) return failure("cannot open \"" + path + "\": " + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) return failure("cannot read \"" + path + "\"");
    // The same bound as every model file's, checked before anything is sized by the file.
    if (static_cast<std::uint64_t>(size) > kMaxModelFileBytes)
        return failure("cannot read \"" + path + "\": the file is larger than " +
                       std::to_string(kMaxModelFileBytes) + " bytes");
    // The binary form is read as it is parsed, so the file is never in memory beside its mesh.
    if (size >= static_cast<std::streamoff>(kXFileHeaderSize)) {
        std::uint8_t start[kXFileHeaderSize];
        in.read(reinterpret_cast<char*>(start), sizeof start);
        const base::Result<XFileHeader> header = parseXFileHeader(start);
        if (in && header && header->encoding == XFileEncoding::Binary && !header->compressed) {
            const auto body = static_cast<std::size_t>(size) - kXFileHeaderSize;
            return readBody([&] {
                return makeBinaryTokenizer(std::make_unique<FileSource>(in, body), header->floatBytes);
            });
        }
        in.clear();
        in.seekg(0, std::ios::beg);
    }
    std::vector<std::uint8_t> data;
    try {
        data.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to read \"" + path + "\"");
    }
    if (size > 0) {
        in.read(reinterpret_cast<char*>(data.data()), size);
        if (!in) return failure("cannot read \"" + path + "\"");
    }
    return parseXFile(data);
}

}  // namespace model::xfile
