#pragma once
// The 3D model the viewer shows: one mesh from a model file, its materials and their textures.
#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/matrix.h"
#include "base/mesh_data.h"
#include "base/result.h"
#include "base/os/file_stamp.h"
#include "base/vec3.h"
#include "device/graphics_device.h"
#include "platform/image_decoder.h"
#include "render/object_label.h"

namespace render {

class ModelObject {
public:
    // Loads `path`; a file that cannot be loaded leaves no mesh and no materials (one logged
    // line says why). Textures are found as the model reader resolves their names.
    ModelObject(const std::string& path, device::GraphicsDevice& device, platform::ImageDecoder& decoder);
    // The same with the file already read (`stamp` taken before reading it).
    ModelObject(const std::string& path, const base::FileStamp& stamp, base::Result<base::MeshData> read,
                device::GraphicsDevice& device, platform::ImageDecoder& decoder);
    ModelObject(const ModelObject&) = delete;
    ModelObject& operator=(const ModelObject&) = delete;

    // World = Rz * Rx * Ry * T * S, then every subset with its material and texture.
    void draw(const base::Vec3& position, const base::Vec3& rotation);
    // The same with the world matrix given, as a record of a frame holds it.
    void drawWithWorld(const base::Matrix& world);
    // The world matrix the last draw gave the device; identity before the first.
    const base::Matrix& lastWorld() const { return lastWorld_; }

    // Model-space corners, three per triangle, of the triangles whose material wears the grab
    // texture file (a file of that name, never a picture the model file holds): what a capture's
    // label is made of. Empty for a model that does not wear it.
    std::span<const std::array<float, 3>> grabTexturedCorners() const { return labelShape_.corners(); }
    // The same triangles made ready for the labels of captures.
    const LabelShape& labelShape() const { return labelShape_; }

    const std::string& path() const { return path_; }
    // Whether the model file is still the one that was read (same size, time and file).
    bool fileUnchanged() const;
    // Reads again the textures whose files changed since they were read, and the texture named
    // `alwaysChanged` in any case (a file rewritten within the clock's resolution looks the same).
    void reloadChangedTextures(platform::ImageDecoder& decoder, std::string_view alwaysChanged);

    std::uint32_t materialCount() const { return static_cast<std::uint32_t>(materials_.size()); }
    const std::vector<base::Material>& materials() const { return materials_; }
    device::Texture* texture(std::size_t i) const { return textures_[i].get(); }
    bool hasMesh() const { return mesh_ != nullptr; }
    // Why the model has no mesh; empty when it has one.
    const std::string& loadProblem() const { return problem_; }
    // The texture files named by the model that gave no texture.
    std::vector<std::string> texturesNotLoaded() const;

private:
    void adopt(base::Result<base::MeshData> read, platform::ImageDecoder& decoder);

    device::GraphicsDevice& device_;
    std::string path_;
    base::FileStamp stamp_;
    std::unique_ptr<device::Mesh> mesh_;
    std::vector<base::Material> materials_;
    std::vector<std::string> textureNames_;  // per material; empty: no texture
    std::vector<base::FileStamp> textureStamps_;
    std::vector<std::unique_ptr<device::Texture>> textures_;
    LabelShape labelShape_;  // positions only, and only of those triangles
    base::Matrix lastWorld_ = base::Matrix::identity();
    std::string problem_;
};

// Where a model at `position`, turned by `rotation` (about Z, then X, then Y), is drawn.
base::Matrix worldOf(const base::Vec3& position, const base::Vec3& rotation);

}  // namespace render
