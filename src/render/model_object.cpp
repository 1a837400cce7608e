#include "render/model_object.h"

#include <cstdint>
#include <filesystem>

#include "base/file_bytes.h"
#include "base/file_names.h"
#include "base/log.h"
#include "model/model_reader.h"
#include "render/matrix.h"
#include "render/texture_loader.h"

namespace render {

using base::Matrix;
using base::matrixMultiply;

namespace {

// The corners of the triangles whose material wears the grab texture file, in mesh order.
std::vector<std::array<float, 3>> cornersWearingGrabTexture(const base::MeshData& mesh) {
    const std::filesystem::path grabFile = base::pathFromUtf8(base::kGrabTextureFile);
    std::vector<bool> grab(mesh.materials.size());
    for (std::size_t i = 0; i < grab.size(); ++i) {
        const base::MeshMaterial& m = mesh.materials[i];
        grab[i] = !m.embeddedTexture && !m.textureFilename.empty() &&
                  base::pathFromUtf8(m.textureFilename).filename() == grabFile;
    }
    auto wears = [&](std::size_t triangle) {
        const std::uint32_t material = mesh.attributes[triangle];
        return material < grab.size() && grab[material];
    };
    std::size_t triangles = 0;
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) triangles += wears(t);
    std::vector<std::array<float, 3>> corners;
    corners.reserve(3 * triangles);
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        if (!wears(t)) continue;
        for (std::size_t k = 0; k < 3; ++k) {
            const base::MeshVertex& v = mesh.vertices[mesh.indices[3 * t + k]];
            corners.push_back({v.x, v.y, v.z});
        }
    }
    return corners;
}

}  // namespace

ModelObject::ModelObject(const std::string& path, device::GraphicsDevice& device,
                         platform::ImageDecoder& decoder)
    : device_(device), path_(path), stamp_(base::fileStamp(path)) {
    adopt(model::readModel(path), decoder);
}

ModelObject::ModelObject(const std::string& path, const base::FileStamp& stamp, base::Result<base::MeshData> read,
                         device::GraphicsDevice& device, platform::ImageDecoder& decoder)
    : device_(device), path_(path), stamp_(stamp) {
    adopt(std::move(read), decoder);
}

void ModelObject::adopt(base::Result<base::MeshData> result, platform::ImageDecoder& decoder) {
    if (!result) {
        base::logLine("nukitori: model \"" + path_ + "\" not loaded: " + result.error());
        problem_ = result.error();
        return;
    }
    mesh_ = device_.createMesh(*result);
    if (!mesh_) {
        base::logLine("nukitori: model \"" + path_ + "\" could not be handed to the device");
        problem_ = "the graphics device did not take it";
        return;
    }
    labelShape_ = LabelShape(cornersWearingGrabTexture(*result));
    materials_.reserve(result->materials.size());
    textures_.reserve(result->materials.size());
    for (const base::MeshMaterial& m : result->materials) {
        base::Material material = m.material;
        material.ambient = material.diffuse;
        materials_.push_back(material);
        if (m.embeddedTexture) {
            // Part of the model file: it changes only with the file.
            textureNames_.emplace_back();
            textureStamps_.emplace_back();
            textures_.push_back(
                loadTextureFromBytes(device_, decoder, *m.embeddedTexture, m.textureFilename));
            continue;
        }
        textureNames_.push_back(m.textureFilename);
        textureStamps_.push_back(m.textureFilename.empty() ? base::FileStamp{}
                                                           : base::fileStamp(m.textureFilename));
        textures_.push_back(
            m.textureFilename.empty() ? nullptr : loadTextureFromFile(device_, decoder, m.textureFilename));
    }
}

std::vector<std::string> ModelObject::texturesNotLoaded() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < textures_.size(); ++i)
        if (!textures_[i] && !textureNames_[i].empty()) names.push_back(textureNames_[i]);
    return names;
}

bool ModelObject::fileUnchanged() const {
    return stamp_.exists && base::fileStamp(path_) == stamp_;
}

void ModelObject::reloadChangedTextures(platform::ImageDecoder& decoder, std::string_view alwaysChanged) {
    for (std::size_t i = 0; i < textureNames_.size(); ++i) {
        const std::string& name = textureNames_[i];
        if (name.empty()) continue;
        const base::FileStamp now = base::fileStamp(name);
        if (name != alwaysChanged && now == textureStamps_[i]) continue;
        // The old texture goes first, so the two never exist at once.
        textures_[i].reset();
        textureStamps_[i] = now;
        textures_[i] = loadTextureFromFile(device_, decoder, name);
    }
}

void ModelObject::draw(const base::Vec3& position, const base::Vec3& rotation) {
    drawWithWorld(worldOf(position, rotation));
}

base::Matrix worldOf(const base::Vec3& position, const base::Vec3& rotation) {
    const Matrix rx = matrixRotationX(rotation.x);
    const Matrix ry = matrixRotationY(rotation.y);
    const Matrix rz = matrixRotationZ(rotation.z);
    const Matrix t = matrixTranslation(position.x, position.y, position.z);
    const Matrix s = matrixScaling(1.0f, 1.0f, 1.0f);
    Matrix world = matrixMultiply(rz, rx);
    world = matrixMultiply(world, ry);
    world = matrixMultiply(world, t);
    return matrixMultiply(world, s);
}

void ModelObject::drawWithWorld(const base::Matrix& world) {
    device_.setTransform(device::TransformState::World, world);
    lastWorld_ = world;
    if (!mesh_) return;
    for (std::uint32_t i = 0; i < materialCount(); ++i) {
        device_.setMaterial(materials_[i]);
        device_.setTexture(0, textures_[i].get());
        device_.drawSubset(*mesh_, i);
    }
}

}  // namespace render
