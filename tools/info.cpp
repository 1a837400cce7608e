// nukitori-info FILE: what the model readers find in FILE (X, glTF, GLB or OBJ), as "key: value"
// lines. Also --help and --version; "--" ends the options, for a file whose name starts with "-".
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model/model_reader.h"

#ifdef _WIN32
#include <windows.h>

#include "base/os/windows_text.h"
#endif

namespace {

std::string colour(const base::ColourValue& c, bool withAlpha) {
    std::ostringstream out;
    out << c.r << ' ' << c.g << ' ' << c.b;
    if (withAlpha) out << ' ' << c.a;
    return out.str();
}

void printMesh(const std::string& path, const base::MeshData& mesh) {
    std::cout << "file: " << path << '\n'
              << "vertices: " << mesh.vertices.size() << '\n'
              << "triangles: " << mesh.triangleCount() << '\n'
              << "normals: " << (mesh.hasNormals ? "yes" : "no") << '\n'
              << "texture coordinates: " << (mesh.hasTextureCoords ? "yes" : "no") << '\n'
              << "materials: " << mesh.materials.size() << '\n';
    for (std::size_t i = 0; i < mesh.materials.size(); ++i) {
        const base::Material& m = mesh.materials[i].material;
        const auto used =
            std::count(mesh.attributes.begin(), mesh.attributes.end(), static_cast<std::uint32_t>(i));
        std::cout << "material " << i << ": diffuse " << colour(m.diffuse, true) << " power " << m.power
                  << " specular " << colour(m.specular, false) << " emissive " << colour(m.emissive, false)
                  << " triangles " << used << " texture "
                  << (mesh.materials[i].textureFilename.empty() ? "-" : mesh.materials[i].textureFilename)
                  << '\n';
    }
    if (!mesh.vertices.empty()) {
        float low[3] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                        std::numeric_limits<float>::max()};
        float high[3] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
                         std::numeric_limits<float>::lowest()};
        for (const base::MeshVertex& v : mesh.vertices) {
            const float p[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
        }
        std::cout << "bounds: " << low[0] << ' ' << low[1] << ' ' << low[2] << " .. " << high[0] << ' '
                  << high[1] << ' ' << high[2] << '\n';
    }
}

constexpr const char* kUsage = "usage: nukitori-info [--] FILE | --help | --version\n";

int run(std::vector<std::string> arguments) {
    if (arguments.size() == 1 && arguments[0] == "--help") {
        std::cout << kUsage
                  << "Prints what nukitori's model readers find in FILE (an X, glTF, GLB or OBJ model):\n"
                     "its vertices, triangles, materials with their textures, and its bounds.\n"
                     "Exit status: 0 read, 1 not readable as a model, 2 misuse.\n";
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::cout << "nukitori-info " NUKITORI_VERSION "\n";
        return 0;
    }
    if (arguments.size() == 2 && arguments[0] == "--") arguments.erase(arguments.begin());
    else if (arguments.size() == 1 && arguments[0].size() > 1 && arguments[0][0] == '-') arguments.clear();
    if (arguments.size() != 1) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string& path = arguments[0];
    const base::Result<base::MeshData> result = model::readModel(path);
    if (!result) {
        std::cerr << path << ": " << result.error() << '\n';
        return 1;
    }
    printMesh(path, *result);
    return 0;
}

}  // namespace

#ifdef _WIN32
// The wide entry point: narrow arguments are in the ANSI code page, which cannot hold every name.
int wmain(int argc, wchar_t** argv) {
    // What is printed is UTF-8; a console shows it as such only when told so.
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(base::toUtf8(argv[i]));
    return run(std::move(arguments));
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
