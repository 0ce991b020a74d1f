#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/RenderingRecords.h"

namespace ZarvikEngine::Data {
namespace {

using Test::Bytes;
using Test::expectValidationGuardsReaders;
using Test::touch;
using Test::toVector;

/* first, first + 1, ... so that a shifted or truncated copy shows */
template<class T>
T counting(std::uint8_t first) {
    T value;
    std::iota(value.bytes.begin(), value.bytes.end(), first);
    return value;
}

std::string repeated(std::size_t count) {
    return std::string(count, 'n');
}

TEST(RenderingRecords, MaterialCarriesAlphaAndParameterBlock) {
    const auto alpha = counting<Shaders::AlphaMaterial>(1);
    const std::vector<char> payload = createMaterialData(-3, alpha, {std::vector<char>(5, 'p')});
    EXPECT_EQ(payload, std::vector<char>(Bytes{}.i32(-3).sequence(1, 16).chars("ppppp")));

    const MaterialData record{payload};
    EXPECT_EQ(record.header(), -3);
    EXPECT_EQ(record.alphaMaterial(), alpha);
    EXPECT_EQ(toVector(record.materialData()), std::vector<char>(5, 'p'));
    EXPECT_TRUE(MaterialData{createMaterialData(0, {}, {})}.materialData().empty());
}

TEST(RenderingRecords, ShaderStoresSourcesAfterFixedNameFields) {
    /* Without WGSL, the WGSL name is not written */
    const std::vector<char> glslOnly = createShaderData(
        "lit", {"void m(){}", "ignored"}, Shaders::ShaderProgramFlags{std::uint16_t(0x0102)},
        Shaders::ShaderType(3), Shaders::ShaderStage(1), false, "ignoredName");
    Bytes expected;
    expected.u8(1).u8(3).u16(0x0102).u16(11).u16(0).field("lit", 128).zeros(128);
    EXPECT_EQ(glslOnly, std::vector<char>(expected.string("void m(){}")));
    const ShaderData glslRecord{glslOnly};
    EXPECT_EQ(glslRecord.name(), "lit");
    EXPECT_EQ(glslRecord.code(), "void m(){}");
    EXPECT_EQ(glslRecord.code().data()[10], '\0');
    EXPECT_TRUE(glslRecord.codeWGSL().empty());
    EXPECT_TRUE(glslRecord.wgslName().empty());

    const std::string longestName = repeated(ShaderData::MaxNameLength);
    const std::string longestWgslName = repeated(ShaderData::MaxWgslNameLength);
    const std::vector<char> both =
        createShaderData(longestName, {"", "fn f(){}"}, {}, Shaders::ShaderType(0),
                         Shaders::ShaderStage(2), true, longestWgslName);
    expected = {};
    expected.u8(2).u8(0).u16(0).u16(1).u16(9).field(longestName, 128).field(longestWgslName, 128);
    EXPECT_EQ(both, std::vector<char>(expected.string("").string("fn f(){}")));
    const ShaderData bothRecord{both};
    EXPECT_EQ(bothRecord.name(), longestName);
    EXPECT_EQ(bothRecord.wgslName(), longestWgslName);
    EXPECT_TRUE(bothRecord.code().empty());
    EXPECT_EQ(bothRecord.codeWGSL(), "fn f(){}");
    expectValidationGuardsReaders<ShaderData>(both, [](std::span<const char> bytes) {
        const ShaderData shader{bytes};
        for (const std::string_view text :
             {shader.name(), shader.wgslName(), shader.code(), shader.codeWGSL()})
            touch(std::span{text});
    });

    /* A size field of 0 means no code; the WGSL code then starts right after the header */
    const std::vector<char> noGlsl =
        Bytes{}.u8(0).u8(0).u16(0).u16(0).u16(3).zeros(256).string("ab");
    EXPECT_TRUE(ShaderData{noGlsl}.code().empty());
    EXPECT_EQ(ShaderData{noGlsl}.codeWGSL(), "ab");

    /* The longest sources the 16-bit sizes can hold */
    const std::string longestSource(ShaderData::MaxSourceLength, 'c');
    const std::vector<char> longest =
        createShaderData("big", {longestSource, longestSource}, {}, {}, {}, true, "big");
    EXPECT_EQ(ShaderData{longest}.header().codeSize, 65535u);
    EXPECT_EQ(ShaderData{longest}.codeWGSL(), longestSource);
    /* Without WGSL its name and source don't matter */
    EXPECT_EQ(
        createShaderData("s", {"", longestSource + "c"}, {}, {}, {}, false, repeated(200)).size(),
        265u);
}

TEST(RenderingRecordsDeathTest, WritersRejectWhatTheFieldsCannotHold) {
    const std::string tooLongSource(ShaderData::MaxSourceLength + 1, 'c');
    ZE_EXPECT_ABORT(createShaderData(repeated(127), {}, {}, {}, {}, false, ""),
                    "createShaderData(): Shader name too long.");
    ZE_EXPECT_ABORT(createShaderData("s", {}, {}, {}, {}, true, repeated(128)),
                    "createShaderData(): WGSL name too long.");
    ZE_EXPECT_ABORT(createShaderData("s", {tooLongSource, ""}, {}, {}, {}, false, ""),
                    "createShaderData(): GLSL source of 65535 characters too long, the limit "
                    "is 65534");
    ZE_EXPECT_ABORT(createShaderData("s", {"", tooLongSource}, {}, {}, {}, true, ""),
                    "createShaderData(): WGSL source of 65535 characters too long, the limit "
                    "is 65534");
    ZE_EXPECT_ABORT(createPipelineData(repeated(64), {}, 0, StringArray{}, 0),
                    "createShaderData(): Shader name too long.");
}

TEST(RenderingRecords, PipelineStoresStateAndFeatureNames) {
    const auto pipeline = counting<Pipeline>(100);
    const std::vector<char> payload =
        createPipelineData("opaque", pipeline, -1,
                           fromStrings(std::vector<std::string_view>{"SKINNED", "", "FOG"}), 7);
    Bytes expected;
    expected.i32(-1).u32(3).field("opaque", 64).i32(7).sequence(100, 68);
    EXPECT_EQ(payload, std::vector<char>(expected.string("SKINNED").string("").string("FOG")));
    const PipelineData record{payload};
    EXPECT_STREQ(record.name(), "opaque");
    EXPECT_EQ(record.pipeline(), pipeline);
    EXPECT_EQ(record.enabledFeatures(), (std::vector<std::string_view>{"SKINNED", "", "FOG"}));
    expectValidationGuardsReaders<PipelineData>(payload, [](std::span<const char> bytes) {
        const PipelineData read{bytes};
        touch(std::span{std::string_view{read.name()}});
        for (const std::string_view feature : read.enabledFeatures())
            touch(std::span{feature});
    });

    /* Unused capacity of the feature array isn't stored */
    const std::vector<char> featureless = createPipelineData(repeated(63), {}, 0, StringArray{}, 0);
    EXPECT_EQ(featureless.size(), 144u);
    EXPECT_EQ(PipelineData{featureless}.name(), repeated(63));
    EXPECT_TRUE(PipelineData{featureless}.enabledFeatures().empty());

    /* Reading stops at the end of the payload even when fewer names are there than counted */
    const std::vector<char> short_ = Bytes{}.i32(0).u32(5).zeros(136).string("X").chars("YZ");
    EXPECT_EQ(PipelineData{short_}.enabledFeatures(), (std::vector<std::string_view>{"X", "YZ"}));
}

TEST(RenderingRecords, OpaqueRecordsKeepTheirBytes) {
    const std::vector<char> renderingPayload = Bytes{}.sequence(0, 196).chars("tail");
    const RenderingData renderingRecord{renderingPayload};
    EXPECT_EQ(renderingRecord.header().bytes[195], 195);
    EXPECT_EQ(toVector(renderingRecord.data()), std::vector<char>(Bytes{}.chars("tail")));

    const auto draw = counting<Draw>(7);
    const std::vector<char> drawPayload = createDrawData(draw);
    EXPECT_EQ(drawPayload, std::vector<char>(Bytes{}.sequence(7, 88)));
    EXPECT_EQ(DrawData{drawPayload}.draw(), draw);

    const std::vector<char> physx =
        createPhysXData(PhysXData::Type(2), 0xBEEF, std::string_view{"abcde"});
    EXPECT_EQ(physx, std::vector<char>(Bytes{}.u16(2).u16(0xBEEF).chars("abcde")));
    EXPECT_EQ(PhysXData{physx}.header().value, 0xBEEF);
    EXPECT_EQ(toVector(PhysXData{physx}.data()), std::vector<char>(Bytes{}.chars("abcde")));
}

} // namespace
} // namespace ZarvikEngine::Data
