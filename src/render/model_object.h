#pragma once
// The 3D model the viewer shows: one mesh from an X file, its materials and their textures.
#include <memory>
#include <string>
#include <vector>

#include "base/vec3.h"
#include "platform/image_decoder.h"
#include "render/graphics_device.h"

namespace render {

class ModelObject {
public:
    // Loads `path`; a file that cannot be loaded leaves no mesh and no materials (one logged
    // line says why). Texture names are resolved against the working directory.
    ModelObject(const std::string& path, GraphicsDevice& device, platform::ImageDecoder& decoder);
    ModelObject(const ModelObject&) = delete;
    ModelObject& operator=(const ModelObject&) = delete;

    // World = Rz * Rx * Ry * T * S, then every subset with its material and texture.
    void draw(const base::Vec3& position, const base::Vec3& rotation);

    std::uint32_t materialCount() const { return static_cast<std::uint32_t>(materials_.size()); }
    const std::vector<base::Material>& materials() const { return materials_; }
    Texture* texture(std::size_t i) const { return textures_[i].get(); }
    bool hasMesh() const { return mesh_ != nullptr; }

private:
    GraphicsDevice& device_;
    std::unique_ptr<Mesh> mesh_;
    std::vector<base::Material> materials_;
    std::vector<std::unique_ptr<Texture>> textures_;
};

}  // namespace render
