#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AssetChunk.h"

namespace ZarvikEngine::Data {
namespace {

using Test::AlignedBuffer;
using Test::Bytes;
using Test::toVector;

template<class T>
std::string printed(const T& value) {
    std::ostringstream out;
    {
        Debug redirect{&out};
        Debug{} << value;
    }
    return out.str();
}

Magic magicOf(const char (&letters)[5]) {
    Magic magic;
    std::memcpy(&magic, letters, 4);
    return magic;
}

TEST(AssetChunk, MagicsAreFourLettersAndPrintTheirNames) {
    const struct {
        Magic magic;
        char letter;
        const char* name;
    } magics[]{
        {Magic::Header, 'V', "Magic::Header"},
        {Magic::Scene, 'S', "Magic::Scene"},
        {Magic::Mesh, 'M', "Magic::Mesh"},
        {Magic::MorphTarget, 'b', "Magic::MorphTarget"},
        {Magic::Skin, 'B', "Magic::Skin"},
        {Magic::Image, 'I', "Magic::Image"},
        {Magic::ImageTile, 't', "Magic::ImageTile"},
        {Magic::Texture, 'T', "Magic::Texture"},
        {Magic::Probe, 'E', "Magic::Probe"},
        {Magic::Material, 'm', "Magic::Material"},
        {Magic::Shader, 's', "Magic::Shader"},
        {Magic::Pipeline, 'p', "Magic::Pipeline"},
        {Magic::Rendering, 'R', "Magic::Rendering"},
        {Magic::Draw, 'd', "Magic::Draw"},
        {Magic::PhysX, 'P', "Magic::PhysX"},
        {Magic::Font, 'F', "Magic::Font"},
        {Magic::External, 'e', "Magic::External"},
        {Magic::JsParams, 'j', "Magic::JsParams"},
        {Magic::Animation, 'a', "Magic::Animation"},
        {Magic::AnimationTargets, 'A', "Magic::AnimationTargets"},
        {Magic::AnimationGraph, 'g', "Magic::AnimationGraph"},
        {Magic::Language, 'l', "Magic::Language"},
        {Magic::Locale, 'L', "Magic::Locale"},
    };
    for (const auto& entry : magics) {
        const char letters[5]{'Z', 'V', 'K', entry.letter, 0};
        EXPECT_EQ(entry.magic, magicOf(letters)) << entry.name;
        EXPECT_EQ(printed(entry.magic), std::string{entry.name} + "\n");
    }
    /* The type letter is the most significant byte of the word */
    EXPECT_EQ(std::uint32_t(Magic::Mesh), 0x4D4B565Au);
    EXPECT_EQ(printed(magicOf("ABCD")), "Magic(ABCD)\n");
    EXPECT_EQ(printed(magicOf("ZVKx")), "Magic(ZVKx)\n");
}

TEST(AssetChunk, AppendedChunksAreFramedAndPadded) {
    EXPECT_EQ(calulateAssetChunkSizePadded(0), 8u);
    EXPECT_EQ(calulateAssetChunkSizePadded(1), 12u);
    EXPECT_EQ(calulateAssetChunkSizePadded(4), 12u);
    EXPECT_EQ(calulateAssetChunkSizePadded(5), 16u);

    std::vector<char> file;
    AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, file);
    const AssetChunk empty = AssetChunk::create(Magic::Scene, std::span<const char>{}, file);
    EXPECT_EQ(empty.header().size, 0u);
    EXPECT_EQ(empty.totalSizeAligned(), 8u);
    AssetChunk::create(Magic::Draw,
                       {std::string_view{"xy"}, std::string_view{""}, std::string_view{"z"}}, file);
    const std::span<const char> pieces[]{std::string_view{"1234"}, std::string_view{"5"}};
    AssetChunk::create(Magic::Font, std::span{pieces}, file);

    const std::vector<char> expected = Bytes{}
                                           .chars("ZVKM")
                                           .u32(5)
                                           .chars("abcde")
                                           .zeros(3)
                                           .chars("ZVKS")
                                           .u32(0)
                                           .chars("ZVKd")
                                           .u32(3)
                                           .chars("xyz")
                                           .zeros(1)
                                           .chars("ZVKF")
                                           .u32(5)
                                           .chars("12345")
                                           .zeros(3);
    EXPECT_EQ(file, expected);

    /* Walk it the way readers do */
    std::vector<std::pair<Magic, std::string>> chunks;
    for (AssetChunkView chunk{file}; chunk.valid(); chunk = chunk.next()) {
        chunks.emplace_back(chunk.header().magic,
                            std::string{chunk.data().begin(), chunk.data().end()});
        if (!chunk.hasNext())
            break;
    }
    EXPECT_EQ(chunks, (std::vector<std::pair<Magic, std::string>>{{Magic::Mesh, "abcde"},
                                                                  {Magic::Scene, ""},
                                                                  {Magic::Draw, "xyz"},
                                                                  {Magic::Font, "12345"}}));

    /* One more byte after the last chunk counts as a next one, but not a valid one */
    const AssetChunkView last{std::span<const char>{file}.subspan(36)};
    EXPECT_FALSE(last.hasNext());
    file.resize(file.size() + 4);
    const AssetChunkView notLast{std::span<const char>{file}.subspan(36)};
    EXPECT_TRUE(notLast.hasNext());
    EXPECT_FALSE(notLast.next().valid());
    EXPECT_FALSE(AssetChunkView{}.valid());
    EXPECT_FALSE(AssetChunkView{std::span<const char>{file}.first(7)}.valid());
}

TEST(AssetChunk, WritesIntoFixedBuffers) {
    AlignedBuffer buffer;
    std::memset(buffer.bytes, 0x55, sizeof(buffer.bytes));
    const std::span<char> dest{buffer.bytes, 32};

    /* The gather form leaves padding alone and covers dest to its end */
    const std::span<const char> pieces[]{std::string_view{"ab"}, std::string_view{"cde"}};
    AssetChunk chunk = AssetChunk::create(Magic::Shader, std::span{pieces}, dest);
    EXPECT_EQ(toVector(dest.first(16)),
              std::vector<char>(Bytes{}.chars("ZVKs").u32(5).chars("abcde").fill(3, 0x55)));
    EXPECT_EQ(chunk.data().size(), 24u);
    EXPECT_EQ(std::as_const(chunk).data().size(), 5u);

    /* The reserving form stores the padded size and writes nothing but the header */
    chunk = AssetChunk::create(Magic::Mesh, 5, dest);
    EXPECT_EQ(toVector(dest.first(16)),
              std::vector<char>(Bytes{}.chars("ZVKM").u32(8).chars("abcde").fill(3, 0x55)));
    EXPECT_EQ(chunk.totalSizeAligned(), 16u);
    std::memcpy(chunk.data().data(), "12345678", 8);
    EXPECT_EQ(std::string_view(std::as_const(chunk).data().data(), 8), "12345678");

    /* Several chunks back to back, each reaching to the end of the buffer */
    std::memset(buffer.bytes, 0x55, sizeof(buffer.bytes));
    const Magic magics[]{Magic::Header, Magic::Locale, Magic::External};
    const std::span<const char> datas[]{std::string_view{"x"}, {}, std::string_view{"abcd"}};
    const std::vector<AssetChunk> chunks = AssetChunk::create(magics, datas, dest);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(toVector(dest.first(32)), std::vector<char>(Bytes{}
                                                              .chars("ZVKV")
                                                              .u32(1)
                                                              .chars("x")
                                                              .fill(3, 0x55)
                                                              .chars("ZVKL")
                                                              .u32(0)
                                                              .chars("ZVKe")
                                                              .u32(4)
                                                              .chars("abcd")));
    AssetChunk second = chunks[1];
    EXPECT_EQ(second.data().size(), 32u - 12u - 8u);
    EXPECT_FALSE(chunks[2].hasNext());
    AssetChunk walked = chunks[0];
    walked = walked.next().next();
    EXPECT_EQ(walked.header().magic, Magic::External);
    EXPECT_EQ(walked.data().size(), 4u);
}

struct TestRecord {
    static constexpr Magic magic = Magic::Probe;
    explicit TestRecord(std::span<const char> data) : data{data} {}
    std::span<const char> data;
};

TEST(AssetChunkDeathTest, RejectsMisuse) {
    AlignedBuffer buffer{};
    ZE_EXPECT_ABORT((AssetChunkView{std::span<const char>{buffer.bytes + 2, 8}}),
                    "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
    ZE_EXPECT_ABORT((AssetChunk{std::span<char>{buffer.bytes + 1, 8}}),
                    "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
    ZE_EXPECT_ABORT(
        AssetChunk::create(Magic::Mesh, std::string_view{"x"}, std::span{buffer.bytes + 2, 12}),
        "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
    /* A 5-byte payload needs its padding too */
    ZE_EXPECT_ABORT(
        AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, std::span{buffer.bytes, 13}),
        "AssetChunk::create(): destData too small");
    ZE_EXPECT_ABORT(AssetChunk::create(Magic::Mesh, 5, std::span{buffer.bytes, 15}),
                    "AssetChunk::create(): destData too small");
    const Magic magics[]{Magic::Header, Magic::Mesh};
    const std::span<const char> datas[]{std::string_view{"x"}};
    ZE_EXPECT_ABORT(AssetChunk::create(magics, datas, std::span{buffer.bytes}),
                    "AssetChunk::create(): magic and data arrays not same size");

    std::vector<char> file;
    AssetChunk::create(Magic::Mesh, std::string_view{"abc"}, file);
    const AssetChunkView chunk{file};
    ZE_EXPECT_ABORT(chunk.as<TestRecord>(), "AssetChunkView::as(): Chunk is not of given type");
    /* A header announcing more than the buffer holds */
    ZE_EXPECT_ABORT(AssetChunkView{std::span<const char>{file}.first(10)}.data(),
                    "AssetChunkView::data(): chunk runs past the end of the data");
    ZE_EXPECT_ABORT(AssetChunkView{std::span<const char>{file}.first(10)}.next(),
                    "AssetChunkView::next(): chunk runs past the end of the data");
}

TEST(AssetChunk, TypedAccessGivesThePayload) {
    std::vector<char> file;
    AssetChunk::create(Magic::Probe, std::string_view{"probe"}, file);
    const TestRecord record = AssetChunkView{file}.as<TestRecord>();
    EXPECT_EQ(std::string_view(record.data.data(), record.data.size()), "probe");
}

TEST(AssetFile, HeaderIsFinalisedFromTheChunks) {
    std::vector<char> file;
    appendHeaderData(file);
    EXPECT_EQ(file, std::vector<char>(
                        Bytes{}.chars("ZVKV").u32(16).u32(0x00020001).u32(4).u32(0).u32(0)));
    const auto header = [&] { return AssetChunkView{file}.as<HeaderData>().header(); };

    updateHeaderData(file);
    EXPECT_EQ(header().maxChunkSize, 24u);
    EXPECT_EQ(header().chunkCount, 1u);

    AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, file);
    updateHeaderData(file);
    EXPECT_EQ(header().maxChunkSize, 24u);
    EXPECT_EQ(header().chunkCount, 2u);

    const AssetChunk external = createExternalBinChunk("", file);
    EXPECT_EQ(external.header().size, 1u);
    EXPECT_EQ(external.totalSizeAligned(), 12u);
    createExternalBinChunk("data/mesh.bin", file);
    AssetChunk::create(Magic::Scene, std::vector<char>(100, 's'), file);
    updateHeaderData(file);
    updateHeaderData(file);
    EXPECT_EQ(header().maxChunkSize, 108u);
    EXPECT_EQ(header().chunkCount, 5u);
    EXPECT_EQ(header().fixedWords[0], 0x00020001u);
    EXPECT_EQ(header().fixedWords[1], 4u);

    EXPECT_EQ(toVector(std::span{file}.subspan(40, 36)),
              std::vector<char>(Bytes{}
                                    .chars("ZVKe")
                                    .u32(1)
                                    .zeros(4)
                                    .chars("ZVKe")
                                    .u32(14)
                                    .string("data/mesh.bin")
                                    .zeros(2)));
    EXPECT_EQ(
        toVector(std::span{file}.first(24)),
        std::vector<char>(Bytes{}.chars("ZVKV").u32(16).u32(0x00020001).u32(4).u32(108).u32(5)));
}

TEST(AssetFileDeathTest, RejectsFilesWithoutHeader) {
    std::vector<char> file;
    AssetChunk::create(Magic::Mesh, std::string_view{"abc"}, file);
    ZE_EXPECT_ABORT(updateHeaderData(file), "AssetChunkView::as(): Chunk is not of given type");
    ZE_EXPECT_ABORT(updateHeaderData({}), "updateHeaderData(): file too small for a header chunk");
    file.clear();
    appendHeaderData(file);
    file.insert(file.end(), 2, '\0');
    ZE_EXPECT_ABORT(updateHeaderData(file),
                    "updateHeaderData(): file ends with a partial chunk header");
    AlignedBuffer buffer{};
    ZE_EXPECT_ABORT(updateHeaderData(std::span{buffer.bytes + 2, 24}),
                    "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
}

} // namespace
} // namespace ZarvikEngine::Data
