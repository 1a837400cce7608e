#include "render/xfile_reader.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "render/xfile_header.h"
#include "render/xfile_mesh_builder.h"
#include "render/xfile_mszip.h"
#include "render/xfile_parser.h"
#include "render/xfile_tokenizer.h"

namespace render {

namespace {

XFileResult failure(std::string message) {
    XFileResult result;
    result.error = std::move(message);
    return result;
}

}  // namespace

XFileResult parseXFile(std::span<const std::uint8_t> data) {
    std::string error;
    const std::optional<XFileHeader> header = parseXFileHeader(data, error);
    if (!header) return failure(error);

    std::vector<std::uint8_t> decompressed;
    std::span<const std::uint8_t> body = data.subspan(kXFileHeaderSize);
    if (header->compressed) {
        MszipResult unpacked = decompressXFileBody(data);
        if (!unpacked.error.empty()) return failure(unpacked.error);
        decompressed = std::move(unpacked.body);
        body = decompressed;
    }

    try {
        const std::unique_ptr<XTokenizer> tokens =
            header->encoding == XFileEncoding::Text
                ? makeTextTokenizer(body)
                : makeBinaryTokenizer(body, header->floatBytes, header->compressed);
        const XFileScene scene = parseXFileScene(*tokens);
        if (scene.meshes.empty())
            return failure(tokens->describePlace(tokens->next().place) + ": the file holds no Mesh");
        XFileResult result;
        result.mesh = buildMeshData(scene);
        if (result.mesh->triangleCount() == 0) return failure("the meshes of the file hold no triangles");
        return result;
    } catch (const XFileSyntaxError& e) {
        return failure(e.what());
    } catch (const std::bad_alloc&) {
        return failure("not enough memory for the mesh");
    } catch (const std::exception& e) {
        return failure(std::string("cannot read the mesh: ") + e.what());
    }
}

XFileResult readXFile(const std::string& path) {
    // Paths are UTF-8 on every platform; the u8 form keeps Japanese names intact on Windows.
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored))
        return failure("\"" + path + "\" is a folder, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) return failure("cannot open \"" + path + "\": " + std::strerror(errno));
    std::vector<std::uint8_t> data;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        data.resize(static_cast<std::size_t>(size));
        in.read(reinterpret_cast<char*>(data.data()), size);
        if (!in) return failure("cannot read \"" + path + "\"");
    } else if (size < 0) {
        return failure("cannot read \"" + path + "\"");
    }
    return parseXFile(data);
}

}  // namespace render
