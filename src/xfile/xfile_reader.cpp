#include "xfile/xfile_reader.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#include "xfile/xfile_header.h"
#include "xfile/xfile_mesh_builder.h"
#include "xfile/xfile_mszip.h"
#include "xfile/xfile_parser.h"
#include "xfile/xfile_tokenizer.h"

namespace xfile {

namespace {

base::Failure failure(std::string message) {
    return {std::move(message)};
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
        MeshData mesh = buildMeshData(scene);
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

}  // namespace xfile
