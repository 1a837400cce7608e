#pragma once
// The formats nukitori reads, one entry each: the names and first bytes that tell a file of it,
// and how it is read. readModel and parseModel (model_reader.h) read a file with the reader
// chosen here.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/mesh_data.h"
#include "base/result.h"

namespace model {

struct ModelReader {
    std::string_view name;                         // as messages name the format
    std::span<const std::string_view> extensions;  // lower case, without the dot
    // Whether the first bytes of a file are this format's.
    bool (*sniff)(std::span<const std::uint8_t> head);
    // Whether a match of `sniff` tells the format whatever the name says: so for a format with
    // a signature. Plain text with nothing sure to tell it by (OBJ) is taken by its content only
    // when the name tells no format, or one whose name other formats' files wear.
    bool sniffDecides = true;
    // Whether other formats' files wear this one's extension too: the program opens model.x
    // whatever it holds.
    bool nameWornByOthers = false;
    // The mesh from the whole file; files beside the model are read from `path`'s folder.
    base::Result<base::MeshData> (*parse)(std::span<const std::uint8_t> bytes, const std::string& path);
    // The mesh read from the file as it is parsed, for a format whose files are too large to
    // hold beside their mesh (X in binary form); null: the file is read whole, then parsed.
    base::Result<base::MeshData> (*read)(const std::string& path) = nullptr;
};

// How much of a file's start the sniffs see.
inline constexpr std::size_t kHeadBytes = 4096;

// Every reader, in the order their sniffs are tried.
std::span<const ModelReader> modelReaders();

// The reader for a file that starts with `head` and is called `path`: its content tells first,
// then its name's extension; null when neither tells a format.
const ModelReader* readerFor(std::span<const std::uint8_t> head, std::string_view path);

}  // namespace model
