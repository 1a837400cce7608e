#pragma once
// Direct3D 9 for this backend's files, and its one owner of COM references: WRL's ComPtr, so
// that every Direct3D object is released exactly once.
// Implements: the includes in the order they need, and the name ComPtr in this namespace. Not
// implemented: D3DX, which stock Windows lacks (meshes, textures and text are this backend's).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they need.
#include <d3d9.h>
#include <wrl/client.h>

namespace backends::d3d9 {

using Microsoft::WRL::ComPtr;

}  // namespace backends::d3d9
