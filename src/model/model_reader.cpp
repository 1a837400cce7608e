#include "model/model_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/file_bytes.h"
#include "model/gltf/gltf_reader.h"
#include "model/model_paths.h"
#include "model/obj/obj_reader.h"
#include "model/xfile/xfile_reader.h"

namespace model {

namespace {

// Model files are read whole (but X files in binary form, which are streamed).
constexpr std::uint64_t kMaxModelFileBytes = std::uint64_t{1} << 31;
constexpr std::size_t kHeadBytes = 4096;

std::string lowerExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot + 1));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool startsWith(std::span<const std::uint8_t> bytes, const char* text) {
    const std::size_t n = std::strlen(text);
    return bytes.size() >= n && std::memcmp(bytes.data(), text, n) == 0;
}

// A JSON object with an "asset" member near its start (glTF writes it first or early).
bool looksLikeGltfJson(std::span<const std::uint8_t> head) {
    std::size_t i = 0;
    if (startsWith(head, "\xEF\xBB\xBF")) i = 3;
    while (i < head.size() && std::isspace(head[i])) ++i;
    if (i >= head.size() || head[i] != '{') return false;
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    return text.find("\"asset\"") != std::string_view::npos;
}

// Text whose first statement is one OBJ uses.
bool looksLikeObj(std::span<const std::uint8_t> head) {
    if (std::find(head.begin(), head.end(), std::uint8_t{0}) != head.end()) return false;
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::string_view word = line.substr(0, line.find_first_of(" \t\r"));
        for (const char* keyword : {"v", "vt", "vn", "vp", "f", "o", "g", "s", "l", "p", "mtllib", "usemtl"})
            if (word == keyword) return true;
        return false;
    }
    return false;
}

ModelFormat byExtension(std::string_view path) {
    const std::string extension = lowerExtension(path);
    if (extension == "x") return ModelFormat::XFile;
    if (extension == "gltf") return ModelFormat::GltfText;
    if (extension == "glb") return ModelFormat::GltfBinary;
    if (extension == "obj") return ModelFormat::Obj;
    return ModelFormat::Unknown;
}

// X files name their textures relative to the working directory; a model from another folder
// finds them beside itself.
void resolveXFileTextures(base::MeshData& mesh, const std::string& path) {
    const std::string folder = folderOf(path);
    if (folder.empty()) return;
    for (base::MeshMaterial& m : mesh.materials) {
        if (m.textureFilename.empty() || isRegularFile(m.textureFilename)) continue;
        const std::string beside = besideFolder(folder, m.textureFilename);
        if (isRegularFile(beside)) m.textureFilename = beside;
    }
}

base::Result<base::MeshData> parseAs(ModelFormat format, std::span<const std::uint8_t> bytes,
                                     const std::string& path) {
    switch (format) {
        case ModelFormat::XFile: {
            base::Result<base::MeshData> mesh = xfile::parseXFile(bytes);
            if (mesh) resolveXFileTextures(*mesh, path);
            return mesh;
        }
        case ModelFormat::GltfText:
            return gltf::parseGltf(bytes, false, path);
        case ModelFormat::GltfBinary:
            return gltf::parseGltf(bytes, true, path);
        case ModelFormat::Obj:
            return obj::parseObj(bytes, path);
        case ModelFormat::Unknown:
            break;
    }
    return base::Failure{"not a model nukitori reads (X, glTF, GLB or OBJ)"};
}

}  // namespace

ModelFormat detectModelFormat(std::span<const std::uint8_t> head, std::string_view path) {
    if (startsWith(head, "xof ")) return ModelFormat::XFile;
    if (startsWith(head, "glTF")) return ModelFormat::GltfBinary;
    if (looksLikeGltfJson(head)) return ModelFormat::GltfText;
    const ModelFormat named = byExtension(path);
    // An OBJ is plain text with nothing to recognise it by for sure: its name decides, unless the
    // name is another format's.
    if (named == ModelFormat::Unknown || named == ModelFormat::XFile)
        if (looksLikeObj(head)) return ModelFormat::Obj;
    return named;
}

const char* formatName(ModelFormat format) {
    switch (format) {
        case ModelFormat::XFile:
            return "X";
        case ModelFormat::GltfText:
            return "glTF";
        case ModelFormat::GltfBinary:
            return "GLB";
        case ModelFormat::Obj:
            return "OBJ";
        case ModelFormat::Unknown:
            break;
    }
    return "unknown";
}

base::Result<base::MeshData> parseModel(std::span<const std::uint8_t> bytes, const std::string& path) {
    return parseAs(detectModelFormat(bytes.first(std::min(bytes.size(), kHeadBytes)), path), bytes, path);
}

base::Result<base::MeshData> readModel(const std::string& path) {
    if (const base::Status file = notAFolder(path); !file) return file.failure();
    std::uint8_t head[kHeadBytes];
    std::size_t got = 0;
    {
        std::ifstream in(base::pathFromUtf8(path), std::ios::binary);
        if (!in) return base::Failure{"cannot open \"" + path + "\""};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        got = static_cast<std::size_t>(in.gcount());
    }
    const ModelFormat format = detectModelFormat(std::span(head, got), path);
    if (format == ModelFormat::XFile) {
        // The X reader streams binary files rather than holding them whole.
        base::Result<base::MeshData> mesh = xfile::readXFile(path);
        if (mesh) resolveXFileTextures(*mesh, path);
        return mesh;
    }
    if (format == ModelFormat::Unknown) return parseAs(format, {}, path);
    base::Result<std::vector<std::uint8_t>> bytes = base::readFileBytes(path, kMaxModelFileBytes);
    if (!bytes) return base::Failure{"cannot read \"" + path + "\": " + bytes.error()};
    return parseAs(format, *bytes, path);
}

}  // namespace model
