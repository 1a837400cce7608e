#pragma once
// What the model readers hand to the device: one mesh with per-triangle attribute ids (the
// material indices) and the materials with their textures.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace base {

struct ColourValue {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
    friend bool operator==(const ColourValue&, const ColourValue&) = default;
};

struct Material {
    ColourValue diffuse;
    ColourValue ambient;
    ColourValue specular;
    ColourValue emissive;
    float power = 0.0f;
    friend bool operator==(const Material&, const Material&) = default;
};

struct MeshMaterial {
    Material material;
    std::string textureFilename;  // UTF-8; empty when the material names no texture
    // An encoded picture held by the model file itself; textureFilename then only names it.
    std::shared_ptr<const std::vector<std::uint8_t>> embeddedTexture;
};

struct MeshVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float u = 0, v = 0;
};

struct MeshData {
    std::vector<MeshVertex> vertices;
    std::vector<std::uint32_t> indices;     // three per triangle
    std::vector<std::uint32_t> attributes;  // one per triangle: its material index
    std::vector<MeshMaterial> materials;
    bool hasNormals = false;
    bool hasTextureCoords = false;
    std::size_t triangleCount() const { return attributes.size(); }
};

}  // namespace base
