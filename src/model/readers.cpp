#include "model/readers.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "model/gltf/gltf_reader.h"
#include "model/obj/obj_reader.h"
#include "model/xfile/xfile_reader.h"
#include "model/xfile/xfile_textures.h"

namespace model {

namespace {

bool startsWith(std::span<const std::uint8_t> bytes, const char* text) {
    const std::size_t n = std::strlen(text);
    return bytes.size() >= n && std::memcmp(bytes.data(), text, n) == 0;
}

bool startsLikeXFile(std::span<const std::uint8_t> head) {
    return startsWith(head, "xof ");
}

bool startsLikeGlb(std::span<const std::uint8_t> head) {
    return startsWith(head, "glTF");
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

base::Result<base::MeshData> parseX(std::span<const std::uint8_t> bytes, const std::string& path) {
    base::Result<base::MeshData> mesh = xfile::parseXFile(bytes);
    if (mesh) xfile::resolveXFileTextures(*mesh, path);
    return mesh;
}

base::Result<base::MeshData> readX(const std::string& path) {
    base::Result<base::MeshData> mesh = xfile::readXFile(path);
    if (mesh) xfile::resolveXFileTextures(*mesh, path);
    return mesh;
}

base::Result<base::MeshData> parseGltfText(std::span<const std::uint8_t> bytes, const std::string& path) {
    return gltf::parseGltf(bytes, false, path);
}

base::Result<base::MeshData> parseGlb(std::span<const std::uint8_t> bytes, const std::string& path) {
    return gltf::parseGltf(bytes, true, path);
}

constexpr std::string_view kXExtensions[] = {"x"};
constexpr std::string_view kGltfExtensions[] = {"gltf"};
constexpr std::string_view kGlbExtensions[] = {"glb"};
constexpr std::string_view kObjExtensions[] = {"obj"};

constexpr ModelReader kReaders[] = {
    {.name = "X",
     .extensions = kXExtensions,
     .sniff = startsLikeXFile,
     .nameWornByOthers = true,
     .parse = parseX,
     .read = readX},
    {.name = "glTF", .extensions = kGltfExtensions, .sniff = looksLikeGltfJson, .parse = parseGltfText},
    {.name = "GLB", .extensions = kGlbExtensions, .sniff = startsLikeGlb, .parse = parseGlb},
    {.name = "OBJ",
     .extensions = kObjExtensions,
     .sniff = looksLikeObj,
     .sniffDecides = false,
     .parse = obj::parseObj},
};

std::string lowerExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot + 1));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

const ModelReader* namedBy(std::string_view extension) {
    for (const ModelReader& reader : kReaders)
        if (std::ranges::find(reader.extensions, extension) != reader.extensions.end()) return &reader;
    return nullptr;
}

}  // namespace

std::span<const ModelReader> modelReaders() {
    return kReaders;
}

const ModelReader* readerFor(std::span<const std::uint8_t> head, std::string_view path) {
    for (const ModelReader& reader : kReaders)
        if (reader.sniffDecides && reader.sniff(head)) return &reader;
    const ModelReader* named = namedBy(lowerExtension(path));
    if (named == nullptr || named->nameWornByOthers)
        for (const ModelReader& reader : kReaders)
            if (!reader.sniffDecides && reader.sniff(head)) return &reader;
    return named;
}

}  // namespace model
