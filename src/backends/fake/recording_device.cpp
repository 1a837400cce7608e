#include "backends/fake/recording_device.h"

#include <cstdio>

namespace backends::fake {

namespace {

class FakeTexture final : public device::Texture {
public:
    FakeTexture(RecordingDevice& device, int w, int h) : device_(device), w_(w), h_(h) {}
    ~FakeTexture() override {
        device_.calls.push_back("releaseTexture " + std::to_string(w_) + "x" + std::to_string(h_));
    }

private:
    RecordingDevice& device_;
    int w_, h_;
};

class FakeVertexBuffer final : public device::VertexBuffer {
public:
    FakeVertexBuffer(RecordingDevice& device, std::uint32_t length) : device_(device), bytes_(length) {}
    ~FakeVertexBuffer() override { device_.calls.push_back("releaseVertexBuffer"); }
    void* lock() override {
        if (device_.failVertexBufferLock) return nullptr;
        device_.calls.push_back("lock");
        return bytes_.data();
    }
    void unlock() override {
        device_.calls.push_back("unlock");
        device_.lastVertexUpload = bytes_;
    }

private:
    RecordingDevice& device_;
    std::vector<std::uint8_t> bytes_;
};

class FakeMesh final : public device::Mesh {
public:
    explicit FakeMesh(RecordingDevice& device) : device_(device) {}
    ~FakeMesh() override { device_.calls.push_back("releaseMesh"); }

private:
    RecordingDevice& device_;
};

class FakeFont final : public device::TextFont {
public:
    explicit FakeFont(RecordingDevice& device) : device_(device) {}
    void drawText(int x, int y, const std::string& text, std::uint32_t colour) override {
        device_.calls.push_back("drawText " + std::to_string(x) + " " + std::to_string(y));
        device_.texts.push_back({x, y, text, colour});
    }

private:
    RecordingDevice& device_;
};

}  // namespace

namespace {
// "setTransform 2" matches "setTransform 2" but not "setTransform 256".
bool matches(const std::string& call, const std::string& prefix) {
    return call.rfind(prefix, 0) == 0 && (call.size() == prefix.size() || call[prefix.size()] == ' ');
}
}  // namespace

int RecordingDevice::count(const std::string& prefix) const {
    int n = 0;
    for (const auto& c : calls)
        if (matches(c, prefix)) ++n;
    return n;
}

int RecordingDevice::find(const std::string& prefix, int from) const {
    for (int i = from; i < static_cast<int>(calls.size()); ++i)
        if (matches(calls[static_cast<std::size_t>(i)], prefix)) return i;
    return -1;
}

void RecordingDevice::beginScene() {
    calls.push_back("beginScene");
}

void RecordingDevice::clear(std::uint32_t flags, std::uint32_t colour, float z, std::uint32_t stencil) {
    char line[96];
    std::snprintf(line, sizeof line, "clear %u %08X %g %u", flags, colour, static_cast<double>(z), stencil);
    calls.push_back(line);
    lastClearColour = colour;
}

void RecordingDevice::endScene() {
    calls.push_back("endScene");
}

void RecordingDevice::present() {
    calls.push_back("present");
    ++presentCount;
}

void RecordingDevice::setTransform(device::TransformState state, const base::Matrix& matrix) {
    calls.push_back("setTransform " + std::to_string(static_cast<std::uint32_t>(state)));
    transforms[state] = matrix;
}

void RecordingDevice::setMaterial(const base::Material& material) {
    calls.push_back("setMaterial");
    materialsSet.push_back(material);
}

void RecordingDevice::setTexture(int stage, device::Texture* texture) {
    calls.push_back("setTexture " + std::to_string(stage) + (texture ? " texture" : " none"));
}

void RecordingDevice::setLight(int index, const device::Light& light) {
    calls.push_back("setLight " + std::to_string(index));
    lights[index] = light;
}

void RecordingDevice::lightEnable(int index, bool enable) {
    calls.push_back("lightEnable " + std::to_string(index) + (enable ? " 1" : " 0"));
}

void RecordingDevice::setRenderState(device::RenderState state, std::uint32_t value) {
    calls.push_back("setRenderState " + std::to_string(static_cast<std::uint32_t>(state)) + " " +
                    std::to_string(value));
    renderStates[state] = value;
}

void RecordingDevice::setTextureStageState(int stage, device::TextureStageState state, std::uint32_t value) {
    calls.push_back("setTextureStageState " + std::to_string(stage) + " " +
                    std::to_string(static_cast<std::uint32_t>(state)) + " " + std::to_string(value));
    if (stage == 0) stageStates[state] = value;
}

std::unique_ptr<device::VertexBuffer> RecordingDevice::createVertexBuffer(std::uint32_t length,
                                                                          std::uint32_t fvf) {
    calls.push_back("createVertexBuffer " + std::to_string(length) + " " + std::to_string(fvf));
    if (failVertexBufferCreation) return nullptr;
    return std::make_unique<FakeVertexBuffer>(*this, length);
}

void RecordingDevice::setStreamSource(int stream, device::VertexBuffer* buffer, std::uint32_t offset,
                                      std::uint32_t stride) {
    calls.push_back("setStreamSource " + std::to_string(stream) + (buffer ? " buffer " : " none ") +
                    std::to_string(offset) + " " + std::to_string(stride));
}

void RecordingDevice::setFvf(std::uint32_t fvf) {
    calls.push_back("setFvf " + std::to_string(fvf));
}

void RecordingDevice::drawPrimitive(device::PrimitiveType type, std::uint32_t startVertex,
                                    std::uint32_t primitiveCount) {
    calls.push_back("drawPrimitive " + std::to_string(static_cast<std::uint32_t>(type)) + " " +
                    std::to_string(startVertex) + " " + std::to_string(primitiveCount));
}

std::unique_ptr<device::Mesh> RecordingDevice::createMesh(const base::MeshData& data) {
    calls.push_back("createMesh");
    lastMeshData = data;
    return std::make_unique<FakeMesh>(*this);
}

void RecordingDevice::drawSubset(device::Mesh&, std::uint32_t attributeId) {
    calls.push_back("drawSubset " + std::to_string(attributeId));
}

std::unique_ptr<device::Texture> RecordingDevice::createTexture(const base::Image& image) {
    calls.push_back("createTexture " + std::to_string(image.width) + "x" + std::to_string(image.height));
    return std::make_unique<FakeTexture>(*this, image.width, image.height);
}

std::unique_ptr<device::TextFont> RecordingDevice::createTextFont(int height) {
    calls.push_back("createTextFont " + std::to_string(height));
    if (failTextFont) return nullptr;
    return std::make_unique<FakeFont>(*this);
}

}  // namespace backends::fake
