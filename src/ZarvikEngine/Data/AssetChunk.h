#ifndef ZarvikEngine_Data_AssetChunk_h
#define ZarvikEngine_Data_AssetChunk_h

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Utils/Align.h"

namespace ZarvikEngine::Data {

namespace Implementation {
/* 'Z', 'V', 'K' and the type letter in file order, read as a little-endian word */
constexpr std::uint32_t magic(char type) {
    return std::uint32_t('Z') | std::uint32_t('V') << 8 | std::uint32_t('K') << 16 |
           std::uint32_t(std::uint8_t(type)) << 24;
}
} // namespace Implementation

/* Type tag at the start of every chunk. Letters are case-sensitive. */
enum class Magic : std::uint32_t {
    Header = Implementation::magic('V'),
    Scene = Implementation::magic('S'),
    Mesh = Implementation::magic('M'),
    MorphTarget = Implementation::magic('b'),
    Skin = Implementation::magic('B'),
    Image = Implementation::magic('I'),
    ImageTile = Implementation::magic('t'),
    Texture = Implementation::magic('T'),
    Probe = Implementation::magic('E'),
    Material = Implementation::magic('m'),
    Shader = Implementation::magic('s'),
    Pipeline = Implementation::magic('p'),
    Rendering = Implementation::magic('R'),
    Draw = Implementation::magic('d'),
    PhysX = Implementation::magic('P'),
    Font = Implementation::magic('F'),
    External = Implementation::magic('e'),
    JsParams = Implementation::magic('j'),
    Animation = Implementation::magic('a'),
    AnimationTargets = Implementation::magic('A'),
    AnimationGraph = Implementation::magic('g'),
    Language = Implementation::magic('l'),
    Locale = Implementation::magic('L'),
};

/* "Magic::Header"; values without a name print their four bytes, as "Magic(ABCD)" */
Debug& operator<<(Debug& debug, Magic value);

/* The 8 bytes before every payload */
struct AssetChunkHeader {
    Magic magic;
    /* Payload bytes without padding (the reserving create() stores the padded size) */
    std::uint32_t size;
};
static_assert(sizeof(AssetChunkHeader) == 8);

/* Bytes to reserve for a chunk with an n-byte payload: header plus padded payload */
constexpr std::size_t calulateAssetChunkSizePadded(std::size_t n) {
    return Utils::fourByteAlign(n) + sizeof(AssetChunkHeader);
}

/* Read-only view of a chunk, reaching from its header to the end of the enclosing buffer so
   that the following chunks can be walked to. Never owns the bytes. */
class AssetChunkView {
public:
    AssetChunkView() = default;
    /* data must start 4-byte aligned */
    explicit AssetChunkView(std::span<const char> data) : _data{data} {
        ZE_ASSERT(reinterpret_cast<std::uintptr_t>(data.data()) % 4 == 0,
                  "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
    }

    /* Non-null and long enough for a header */
    bool valid() const { return _data.data() && _data.size() >= sizeof(AssetChunkHeader); }
    const AssetChunkHeader& header() const {
        return *reinterpret_cast<const AssetChunkHeader*>(_data.data());
    }
    /* The payload, padding excluded */
    std::span<const char> data() const {
        ZE_ASSERT(header().size <= _data.size() - sizeof(AssetChunkHeader),
                  "AssetChunkView::data(): chunk runs past the end of the data");
        return _data.subspan(sizeof(AssetChunkHeader), header().size);
    }
    /* Distance to the next chunk's header */
    std::size_t totalSizeAligned() const { return calulateAssetChunkSizePadded(header().size); }
    /* Bytes remain after this chunk */
    bool hasNext() const { return _data.size() > totalSizeAligned(); }
    AssetChunkView next() const {
        ZE_ASSERT(totalSizeAligned() <= _data.size(),
                  "AssetChunkView::next(): chunk runs past the end of the data");
        return AssetChunkView{_data.subspan(totalSizeAligned())};
    }

    /* The payload as a record view of type T, whose magic must match */
    template<class T>
    T as() const {
        ZE_ASSERT(header().magic == T::magic, "AssetChunkView::as(): Chunk is not of given type");
        return T{data()};
    }

private:
    std::span<const char> _data;
};

/* A chunk being written: the read-only view plus writable access to the same bytes */
class AssetChunk : public AssetChunkView {
public:
    AssetChunk() = default;
    /* data must start 4-byte aligned */
    explicit AssetChunk(std::span<char> data)
        : AssetChunkView{std::span<const char>{data}}, _mutableData{data} {}

    using AssetChunkView::data;
    using AssetChunkView::header;
    using AssetChunkView::next;

    AssetChunkHeader& header() { return *reinterpret_cast<AssetChunkHeader*>(_mutableData.data()); }
    /* Everything after the header to the end of the buffer, for filling a reserved chunk */
    std::span<char> data() { return _mutableData.subspan(sizeof(AssetChunkHeader)); }
    AssetChunk next() {
        ZE_ASSERT(totalSizeAligned() <= _mutableData.size(),
                  "AssetChunkView::next(): chunk runs past the end of the data");
        return AssetChunk{_mutableData.subspan(totalSizeAligned())};
    }

    /* Writes the pieces one after another as the payload at the start of dest, which must
       hold the padded chunk; the padding bytes are left as they are */
    static AssetChunk create(Magic magic, std::span<const std::span<const char>> pieces,
                             std::span<char> dest);
    static AssetChunk create(Magic magic, std::span<const char> data, std::span<char> dest);
    /* Appends a chunk to dest, zero-filling its padding; earlier views into dest become
       invalid */
    static AssetChunk create(Magic magic, std::span<const std::span<const char>> pieces,
                             std::vector<char>& dest);
    static AssetChunk create(Magic magic, std::span<const char> data, std::vector<char>& dest);
    static AssetChunk create(Magic magic, std::initializer_list<std::span<const char>> pieces,
                             std::vector<char>& dest);
    /* Reserves a chunk for size payload bytes and stores the padded size in its header; the
       payload is for the caller to fill through data() */
    static AssetChunk create(Magic magic, std::size_t size, std::span<char> dest);
    /* One chunk per magic and data, back to back at the start of dest */
    static std::vector<AssetChunk> create(std::span<const Magic> magics,
                                          std::span<const std::span<const char>> datas,
                                          std::span<char> dest);

private:
    /* Writes the header after checking that dest holds bytes of payload plus padding */
    static AssetChunk reserve(Magic magic, std::uint32_t storedSize, std::size_t bytes,
                              std::span<char> dest);
    static AssetChunk write(Magic magic, std::size_t size,
                            std::span<const std::span<const char>> pieces, std::span<char> dest);

    std::span<char> _mutableData;
};

/* Base of the record views: the payload of one chunk, not owned. Record views trust their
   bytes; bytes from outside the process are validated before a view is built on them. */
class RecordView {
public:
    RecordView() = default;
    explicit RecordView(std::span<const char> data) : _data{data} {}

protected:
    template<class T>
    const T& at(std::size_t offset) const {
        return *reinterpret_cast<const T*>(_data.data() + offset);
    }

    std::span<const char> _data;
};

/* The first record of every file: summary values a loader needs before the other chunks */
class HeaderData : public RecordView {
public:
    struct Header {
        /* Always FixedWords; not interpreted, only preserved */
        std::uint32_t fixedWords[2];
        /* Largest totalSizeAligned() of the file's chunks, 0 until finalised */
        std::uint32_t maxChunkSize;
        /* Chunks of the file, this one included, 0 until finalised */
        std::uint32_t chunkCount;
    };
    static_assert(sizeof(Header) == 16);

    static constexpr Magic magic = Magic::Header;
    static constexpr std::uint32_t FixedWords[2]{0x00020001, 4};

    using RecordView::RecordView;

    const Header& header() const { return at<Header>(0); }
};

/* Starts a file: appends a header chunk to be finalised by updateHeaderData() */
void appendHeaderData(std::vector<char>& file);

/* Recomputes the header's largest chunk size and chunk count of a complete file in place */
void updateHeaderData(std::span<char> file);

/* Appends a chunk naming a separate binary file that belongs with this one */
AssetChunk createExternalBinChunk(std::string_view path, std::vector<char>& file);

} // namespace ZarvikEngine::Data

#endif
