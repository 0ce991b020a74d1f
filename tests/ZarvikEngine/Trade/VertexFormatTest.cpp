#include <set>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/VertexFormat.h"

namespace ZarvikEngine {
namespace {

/* What a format's name says about it, worked out without the library's table */
struct NamedFormat {
    std::string componentFormat;
    std::uint32_t componentCount = 1;
    std::uint32_t vectorCount = 1;
    std::uint32_t vectorStride;
    bool normalized;
};

bool consumeSuffix(std::string_view& name, std::string_view suffix) {
    if (!name.ends_with(suffix))
        return false;
    name.remove_suffix(suffix.size());
    return true;
}

NamedFormat parse(std::string_view name) {
    struct Scalar {
        std::string_view suffix, name;
        std::uint32_t size;
    };
    constexpr Scalar Scalars[]{
        {"", "Float", 4},          {"h", "Half", 2},         {"d", "Double", 8},
        {"ub", "UnsignedByte", 1}, {"b", "Byte", 1},         {"us", "UnsignedShort", 2},
        {"s", "Short", 2},         {"ui", "UnsignedInt", 4}, {"i", "Int", 4}};
    NamedFormat format;
    const bool aligned = consumeSuffix(name, "Aligned");
    format.normalized = consumeSuffix(name, "Normalized");

    std::string_view suffix;
    bool scalar = false;
    if (name.starts_with("Vector")) {
        format.componentCount = std::uint32_t(name[6] - '0');
        suffix = name.substr(7);
    } else if (name.starts_with("Matrix")) {
        format.vectorCount = std::uint32_t(name[6] - '0');
        format.componentCount = std::uint32_t(name[8] - '0');
        suffix = name.substr(9);
    } else {
        scalar = true;
    }
    for (const Scalar& candidate : Scalars) {
        if (scalar ? candidate.name == name : candidate.suffix == suffix) {
            format.componentFormat = candidate.name;
            format.vectorStride = format.componentCount * candidate.size;
            if (aligned)
                format.vectorStride = (format.vectorStride + 3) / 4 * 4;
            return format;
        }
    }
    ADD_FAILURE() << "unparseable format name " << name;
    return format;
}

TEST(VertexFormat, ValuesPrintingAndComposition) {
    EXPECT_EQ(std::uint32_t(VertexFormat::Int), 13u);
    EXPECT_EQ(std::uint32_t(VertexFormat::Vector3), 27u);
    EXPECT_EQ(std::uint32_t(VertexFormat::Vector3sNormalized), 37u);
    EXPECT_EQ(std::uint32_t(VertexFormat::Vector4i), 52u);
    EXPECT_EQ(std::uint32_t(VertexFormat::Matrix2x2bNormalizedAligned), 68u);
    EXPECT_EQ(std::uint32_t(VertexFormat::Matrix4x3sNormalizedAligned), 109u);
    EXPECT_FALSE(isVertexFormatKnown(VertexFormat{}));
    EXPECT_FALSE(isVertexFormatKnown(VertexFormat(110)));

    EXPECT_EQ(debugString(VertexFormat(12345)), "VertexFormat(12345)");
    const VertexFormat wrapped = wrapImplementationSpecific<VertexFormat>(0x1406);
    EXPECT_EQ(std::uint32_t(wrapped), 0x80001406u);
    EXPECT_EQ(unwrapImplementationSpecific(wrapped), 0x1406u);
    EXPECT_EQ(debugString(wrapped), "VertexFormat::ImplementationSpecific(0x1406)");
    EXPECT_FALSE(isVertexFormatKnown(wrapped));

    EXPECT_EQ(vertexFormat(VertexFormat::UnsignedShort, 3, true),
              VertexFormat::Vector3usNormalized);
    EXPECT_EQ(vertexFormat(VertexFormat::Vector3bNormalized, 1, false), VertexFormat::Byte);
    EXPECT_EQ(vertexFormat(VertexFormat::Matrix3x3h, 4, false), VertexFormat::Vector4h);
    EXPECT_EQ(vertexFormat(VertexFormat::Matrix2x2sNormalized, 2, true),
              VertexFormat::Vector2sNormalized);
}

TEST(VertexFormat, EveryQueryAgreesWithTheName) {
    std::set<std::string> names;
    for (std::uint32_t value = 1; value <= 109; ++value) {
        const VertexFormat format{value};
        const std::string text = debugString(format);
        ASSERT_TRUE(text.starts_with("VertexFormat::")) << text;
        const std::string name = text.substr(14);
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second);

        const NamedFormat expected = parse(name);
        EXPECT_EQ(debugString(vertexFormatComponentFormat(format)),
                  "VertexFormat::" + expected.componentFormat);
        EXPECT_EQ(vertexFormatComponentCount(format), expected.componentCount);
        EXPECT_EQ(vertexFormatVectorCount(format), expected.vectorCount);
        EXPECT_EQ(vertexFormatVectorStride(format), expected.vectorStride);
        EXPECT_EQ(vertexFormatSize(format), expected.vectorCount * expected.vectorStride);
        EXPECT_EQ(isVertexFormatNormalized(format), expected.normalized);

        /* Every vector format is put back together from its parts */
        if (expected.vectorCount == 1) {
            EXPECT_EQ(vertexFormat(format, expected.componentCount, expected.normalized), format);
        }
    }
}

TEST(VertexFormatDeathTest, QueriesRefuseWhatTheyCantDescribe) {
    const VertexFormat wrapped = wrapImplementationSpecific<VertexFormat>(0x1406);
    ZE_EXPECT_ABORT(vertexFormatSize(wrapped),
                    "vertexFormatSize(): can't determine size of an implementation-specific "
                    "format 0x1406");
    ZE_EXPECT_ABORT(vertexFormatComponentCount(VertexFormat(110)),
                    "vertexFormatComponentCount(): invalid format VertexFormat(110)");
    ZE_EXPECT_ABORT(vertexFormat(VertexFormat::Float, 3, true),
                    "vertexFormat(): VertexFormat::Float can't be made normalized");
    ZE_EXPECT_ABORT(vertexFormat(VertexFormat::Vector2ui, 2, true),
                    "vertexFormat(): VertexFormat::UnsignedInt can't be made normalized");
    ZE_EXPECT_ABORT(vertexFormat(VertexFormat::Short, 5, false),
                    "vertexFormat(): invalid component count 5");
    ZE_EXPECT_ABORT(wrapImplementationSpecific<VertexFormat>(0x80000000u),
                    "wrapImplementationSpecific(): value 0x80000000 already wrapped or too large");
    ZE_EXPECT_ABORT(unwrapImplementationSpecific(VertexFormat::Float),
                    "unwrapImplementationSpecific(): VertexFormat::Float isn't wrapped");
}

} // namespace
} // namespace ZarvikEngine
