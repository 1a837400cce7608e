#pragma once
// What every model reader builds its mesh with: the material of faces a file gives none, one
// vertex for corners that agree, and the bounds a hostile file must stay within.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <unordered_map>
#include <vector>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model {

// White, with no texture.
base::MeshMaterial whiteMaterial();

// Done while a mesh of `triangles` triangles can be held; beyond that a file's counts would only
// exhaust memory.
base::Status checkTriangleCount(std::size_t triangles);

// The same for vertices: a file that places one mesh many times would otherwise hold a copy of
// its vertices for every place.
base::Status checkVertexCount(std::size_t vertices);

// Whether every vertex stands at a finite position: numbers beyond a float, or a transform that
// overflows, would leave the viewer nothing to frame.
bool positionsFinite(std::span<const base::MeshVertex> vertices);

// One vertex per distinct (position, rest) pair that the corners of a mesh use, where `Rest` is
// what else a corner gives its vertex (a normal's number, a texture coordinate's). A position is
// usually met with one rest: it is found by position first, and only a position met again with
// another rest looks further.
template <class Rest>
class VertexWelder {
public:
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

    explicit VertexWelder(std::size_t positions) : first_(positions) {}

    // The vertex made before for this pair; or kNone, and `next` is taken to be the one the
    // caller makes for it now.
    std::uint32_t find(std::uint32_t position, Rest rest, std::uint32_t next) {
        First& first = first_[position];
        if (first.vertex == kNone) {
            first = {next, rest};
            return kNone;
        }
        if (first.rest == rest) return first.vertex;
        const auto [it, added] = others_.try_emplace(Key{position, rest}, next);
        return added ? kNone : it->second;
    }

private:
    struct First {
        std::uint32_t vertex = kNone;
        Rest rest{};
    };
    struct Key {
        std::uint32_t position;
        Rest rest;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        // The rest spread over all 64 bits (an odd factor keeps apart what differs), so that
        // neighbouring positions and rests seldom share a bucket.
        std::size_t operator()(const Key& key) const {
            return std::hash<std::uint64_t>{}((static_cast<std::uint64_t>(key.rest) * 0x9E3779B97F4A7C15u) ^
                                              key.position);
        }
    };
    std::vector<First> first_;  // by position
    std::unordered_map<Key, std::uint32_t, KeyHash> others_;
};

}  // namespace model
