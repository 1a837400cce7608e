#include "model/model_reader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "model/model_paths.h"
#include "model/readers.h"

namespace model {

namespace {

// What a file no reader takes is told, with every format by name: "X, glTF, GLB or OBJ".
base::Failure notAModel() {
    const std::span<const ModelReader> readers = modelReaders();
    std::string names;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (i > 0) names += i + 1 == readers.size() ? " or " : ", ";
        names += readers[i].name;
    }
    return {"not a model nukitori reads (" + names + ")"};
}

// A texture named like the grab texture file is the grab texture: the grab writes it into the
// working directory, wherever the model lies.
void preferGrabTexture(base::MeshData& mesh) {
    const std::string grab(base::kGrabTextureFile);
    if (!isRegularFile(grab)) return;
    const std::filesystem::path name = base::pathFromUtf8(grab);
    for (base::MeshMaterial& m : mesh.materials) {
        if (!m.embeddedTexture && !m.textureFilename.empty() &&
            base::pathFromUtf8(m.textureFilename).filename() == name)
            m.textureFilename = grab;
    }
}

base::Result<base::MeshData> readWith(const ModelReader& reader, const std::string& path) {
    if (reader.read != nullptr) return reader.read(path);
    base::Result<std::vector<std::uint8_t>> bytes = base::readFileBytes(path, kMaxModelFileBytes);
    if (!bytes) return base::Failure{"cannot read \"" + path + "\": " + bytes.error()};
    return reader.parse(*bytes, path);
}

}  // namespace

base::Result<base::MeshData> parseModel(std::span<const std::uint8_t> bytes, const std::string& path) {
    const ModelReader* reader = readerFor(bytes.first(std::min(bytes.size(), kHeadBytes)), path);
    if (reader == nullptr) return notAModel();
    return reader->parse(bytes, path);
}

base::Result<base::MeshData> readModel(const std::string& path) {
    // Before anything opens it: a FIFO or a device would keep the open or the read waiting.
    if (const base::Status file = checkModelFile(path); !file) return file.failure();
    std::uint8_t head[kHeadBytes];
    std::size_t got = 0;
    {
        std::ifstream in(base::pathFromUtf8(path), std::ios::binary);
        if (!in) return base::Failure{"cannot open \"" + path + "\""};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        got = static_cast<std::size_t>(in.gcount());
    }
    const ModelReader* reader = readerFor(std::span(head, got), path);
    if (reader == nullptr) return notAModel();
    base::Result<base::MeshData> mesh = readWith(*reader, path);
    if (mesh) preferGrabTexture(*mesh);
    return mesh;
}

}  // namespace model
