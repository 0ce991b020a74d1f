#include "ZarvikEngine/Data/AssetChunk.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ZarvikEngine::Data {

Debug& operator<<(Debug& debug, Magic value) {
    switch (value) {
#define ZE_MAGIC(name)                                                                             \
    case Magic::name:                                                                              \
        return debug << "Magic::" #name;
        ZE_MAGIC(Header)
        ZE_MAGIC(Scene)
        ZE_MAGIC(Mesh)
        ZE_MAGIC(MorphTarget)
        ZE_MAGIC(Skin)
        ZE_MAGIC(Image)
        ZE_MAGIC(ImageTile)
        ZE_MAGIC(Texture)
        ZE_MAGIC(Probe)
        ZE_MAGIC(Material)
        ZE_MAGIC(Shader)
        ZE_MAGIC(Pipeline)
        ZE_MAGIC(Rendering)
        ZE_MAGIC(Draw)
        ZE_MAGIC(PhysX)
        ZE_MAGIC(Font)
        ZE_MAGIC(External)
        ZE_MAGIC(JsParams)
        ZE_MAGIC(Animation)
        ZE_MAGIC(AnimationTargets)
        ZE_MAGIC(AnimationGraph)
        ZE_MAGIC(Language)
        ZE_MAGIC(Locale)
#undef ZE_MAGIC
    }
    char bytes[sizeof(Magic)];
    std::memcpy(bytes, &value, sizeof(Magic));
    return debug << "Magic(" << Debug::nospace << std::string_view{bytes, sizeof(bytes)}
                 << Debug::nospace << ")";
}

namespace {

std::size_t totalSize(std::span<const std::span<const char>> pieces) {
    std::size_t size = 0;
    for (const std::span<const char> piece : pieces)
        size += piece.size();
    return size;
}

/* The size field is 32-bit, and reserving chunks store it padded */
void checkSize(std::size_t size) {
    ZE_ASSERT(Utils::fourByteAlign(size) <= std::numeric_limits<std::uint32_t>::max(),
              "AssetChunk::create(): payload of" << size << "bytes doesn't fit a chunk");
}

void copyPieces(std::span<const std::span<const char>> pieces, char* out) {
    for (const std::span<const char> piece : pieces) {
        /* memcpy() from an empty piece's null pointer would be undefined */
        if (!piece.empty())
            std::memcpy(out, piece.data(), piece.size());
        out += piece.size();
    }
}

} // namespace

AssetChunk AssetChunk::reserve(Magic magic, std::uint32_t storedSize, std::size_t bytes,
                               std::span<char> dest) {
    ZE_ASSERT(dest.size() >= calulateAssetChunkSizePadded(bytes),
              "AssetChunk::create(): destData too small");
    AssetChunk chunk{dest};
    chunk.header() = {magic, storedSize};
    return chunk;
}

AssetChunk AssetChunk::write(Magic magic, std::size_t size,
                             std::span<const std::span<const char>> pieces, std::span<char> dest) {
    checkSize(size);
    AssetChunk chunk = reserve(magic, std::uint32_t(size), size, dest);
    copyPieces(pieces, chunk.data().data());
    return chunk;
}

AssetChunk AssetChunk::create(Magic magic, std::span<const std::span<const char>> pieces,
                              std::span<char> dest) {
    return write(magic, totalSize(pieces), pieces, dest);
}

AssetChunk AssetChunk::create(Magic magic, std::span<const char> data, std::span<char> dest) {
    return write(magic, data.size(), {&data, 1}, dest);
}

AssetChunk AssetChunk::create(Magic magic, std::span<const std::span<const char>> pieces,
                              std::vector<char>& dest) {
    const std::size_t size = totalSize(pieces);
    checkSize(size);
    const std::size_t offset = dest.size();
    /* resize() grows geometrically and zero-fills, which gives zero padding. The chunk is
       written here rather than through the fixed-buffer form, which checks what this already
       knows: appending is what files are assembled with. */
    dest.resize(offset + calulateAssetChunkSizePadded(size));
    AssetChunk chunk{std::span{dest}.subspan(offset)};
    chunk.header() = {magic, std::uint32_t(size)};
    copyPieces(pieces, chunk.data().data());
    return chunk;
}

AssetChunk AssetChunk::create(Magic magic, std::span<const char> data, std::vector<char>& dest) {
    return create(magic, std::span<const std::span<const char>>{&data, 1}, dest);
}

AssetChunk AssetChunk::create(Magic magic, std::initializer_list<std::span<const char>> pieces,
                              std::vector<char>& dest) {
    return create(magic, std::span<const std::span<const char>>{pieces.begin(), pieces.size()},
                  dest);
}

AssetChunk AssetChunk::create(Magic magic, std::size_t size, std::span<char> dest) {
    checkSize(size);
    return reserve(magic, std::uint32_t(Utils::fourByteAlign(size)), size, dest);
}

std::vector<AssetChunk> AssetChunk::create(std::span<const Magic> magics,
                                           std::span<const std::span<const char>> datas,
                                           std::span<char> dest) {
    ZE_ASSERT(magics.size() == datas.size(),
              "AssetChunk::create(): magic and data arrays not same size");
    std::vector<AssetChunk> chunks;
    chunks.reserve(magics.size());
    for (std::size_t i = 0; i != magics.size(); ++i) {
        chunks.push_back(create(magics[i], datas[i], dest));
        dest = dest.subspan(chunks.back().totalSizeAligned());
    }
    return chunks;
}

void appendHeaderData(std::vector<char>& file) {
    const HeaderData::Header header{{HeaderData::FixedWords[0], HeaderData::FixedWords[1]}, 0, 0};
    AssetChunk::create(Magic::Header, {reinterpret_cast<const char*>(&header), sizeof(header)},
                       file);
}

void updateHeaderData(std::span<char> file) {
    AssetChunkView chunk{file};
    ZE_ASSERT(chunk.valid(), "updateHeaderData(): file too small for a header chunk");
    /* as() only checks the type; the file itself is writable */
    auto& header = const_cast<HeaderData::Header&>(chunk.as<HeaderData>().header());
    std::size_t maxChunkSize = chunk.totalSizeAligned();
    std::uint32_t chunkCount = 1;
    while (chunk.hasNext()) {
        chunk = chunk.next();
        ZE_ASSERT(chunk.valid(), "updateHeaderData(): file ends with a partial chunk header");
        maxChunkSize = std::max(maxChunkSize, chunk.totalSizeAligned());
        ++chunkCount;
    }
    header.maxChunkSize = std::uint32_t(maxChunkSize);
    header.chunkCount = chunkCount;
}

AssetChunk createExternalBinChunk(std::string_view path, std::vector<char>& file) {
    return AssetChunk::create(Magic::External, {std::span<const char>{path}, {"", 1}}, file);
}

} // namespace ZarvikEngine::Data
