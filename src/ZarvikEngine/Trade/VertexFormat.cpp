#include "ZarvikEngine/Trade/VertexFormat.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine {

namespace {

struct FormatInfo {
    std::string_view name;
    VertexFormat componentFormat;
    std::uint8_t componentCount;
    std::uint8_t vectorCount;
    std::uint8_t vectorStride;
    bool normalized;
};

/* Indexed by value - 1 */
constexpr FormatInfo Formats[]{
    {"Float", VertexFormat::Float, 1, 1, 4, false},
    {"Half", VertexFormat::Half, 1, 1, 2, false},
    {"Double", VertexFormat::Double, 1, 1, 8, false},
    {"UnsignedByte", VertexFormat::UnsignedByte, 1, 1, 1, false},
    {"UnsignedByteNormalized", VertexFormat::UnsignedByte, 1, 1, 1, true},
    {"Byte", VertexFormat::Byte, 1, 1, 1, false},
    {"ByteNormalized", VertexFormat::Byte, 1, 1, 1, true},
    {"UnsignedShort", VertexFormat::UnsignedShort, 1, 1, 2, false},
    {"UnsignedShortNormalized", VertexFormat::UnsignedShort, 1, 1, 2, true},
    {"Short", VertexFormat::Short, 1, 1, 2, false},
    {"ShortNormalized", VertexFormat::Short, 1, 1, 2, true},
    {"UnsignedInt", VertexFormat::UnsignedInt, 1, 1, 4, false},
    {"Int", VertexFormat::Int, 1, 1, 4, false},
    {"Vector2", VertexFormat::Float, 2, 1, 8, false},
    {"Vector2h", VertexFormat::Half, 2, 1, 4, false},
    {"Vector2d", VertexFormat::Double, 2, 1, 16, false},
    {"Vector2ub", VertexFormat::UnsignedByte, 2, 1, 2, false},
    {"Vector2ubNormalized", VertexFormat::UnsignedByte, 2, 1, 2, true},
    {"Vector2b", VertexFormat::Byte, 2, 1, 2, false},
    {"Vector2bNormalized", VertexFormat::Byte, 2, 1, 2, true},
    {"Vector2us", VertexFormat::UnsignedShort, 2, 1, 4, false},
    {"Vector2usNormalized", VertexFormat::UnsignedShort, 2, 1, 4, true},
    {"Vector2s", VertexFormat::Short, 2, 1, 4, false},
    {"Vector2sNormalized", VertexFormat::Short, 2, 1, 4, true},
    {"Vector2ui", VertexFormat::UnsignedInt, 2, 1, 8, false},
    {"Vector2i", VertexFormat::Int, 2, 1, 8, false},
    {"Vector3", VertexFormat::Float, 3, 1, 12, false},
    {"Vector3h", VertexFormat::Half, 3, 1, 6, false},
    {"Vector3d", VertexFormat::Double, 3, 1, 24, false},
    {"Vector3ub", VertexFormat::UnsignedByte, 3, 1, 3, false},
    {"Vector3ubNormalized", VertexFormat::UnsignedByte, 3, 1, 3, true},
    {"Vector3b", VertexFormat::Byte, 3, 1, 3, false},
    {"Vector3bNormalized", VertexFormat::Byte, 3, 1, 3, true},
    {"Vector3us", VertexFormat::UnsignedShort, 3, 1, 6, false},
    {"Vector3usNormalized", VertexFormat::UnsignedShort, 3, 1, 6, true},
    {"Vector3s", VertexFormat::Short, 3, 1, 6, false},
    {"Vector3sNormalized", VertexFormat::Short, 3, 1, 6, true},
    {"Vector3ui", VertexFormat::UnsignedInt, 3, 1, 12, false},
    {"Vector3i", VertexFormat::Int, 3, 1, 12, false},
    {"Vector4", VertexFormat::Float, 4, 1, 16, false},
    {"Vector4h", VertexFormat::Half, 4, 1, 8, false},
    {"Vector4d", VertexFormat::Double, 4, 1, 32, false},
    {"Vector4ub", VertexFormat::UnsignedByte, 4, 1, 4, false},
    {"Vector4ubNormalized", VertexFormat::UnsignedByte, 4, 1, 4, true},
    {"Vector4b", VertexFormat::Byte, 4, 1, 4, false},
    {"Vector4bNormalized", VertexFormat::Byte, 4, 1, 4, true},
    {"Vector4us", VertexFormat::UnsignedShort, 4, 1, 8, false},
    {"Vector4usNormalized", VertexFormat::UnsignedShort, 4, 1, 8, true},
    {"Vector4s", VertexFormat::Short, 4, 1, 8, false},
    {"Vector4sNormalized", VertexFormat::Short, 4, 1, 8, true},
    {"Vector4ui", VertexFormat::UnsignedInt, 4, 1, 16, false},
    {"Vector4i", VertexFormat::Int, 4, 1, 16, false},
    {"Matrix2x2", VertexFormat::Float, 2, 2, 8, false},
    {"Matrix2x2h", VertexFormat::Half, 2, 2, 4, false},
    {"Matrix2x2d", VertexFormat::Double, 2, 2, 16, false},
    {"Matrix2x2bNormalized", VertexFormat::Byte, 2, 2, 2, true},
    {"Matrix2x2sNormalized", VertexFormat::Short, 2, 2, 4, true},
    {"Matrix2x3", VertexFormat::Float, 3, 2, 12, false},
    {"Matrix2x3h", VertexFormat::Half, 3, 2, 6, false},
    {"Matrix2x3d", VertexFormat::Double, 3, 2, 24, false},
    {"Matrix2x3bNormalized", VertexFormat::Byte, 3, 2, 3, true},
    {"Matrix2x3sNormalized", VertexFormat::Short, 3, 2, 6, true},
    {"Matrix2x4", VertexFormat::Float, 4, 2, 16, false},
    {"Matrix2x4h", VertexFormat::Half, 4, 2, 8, false},
    {"Matrix2x4d", VertexFormat::Double, 4, 2, 32, false},
    {"Matrix2x4bNormalized", VertexFormat::Byte, 4, 2, 4, true},
    {"Matrix2x4sNormalized", VertexFormat::Short, 4, 2, 8, true},
    {"Matrix2x2bNormalizedAligned", VertexFormat::Byte, 2, 2, 4, true},
    {"Matrix2x3hAligned", VertexFormat::Half, 3, 2, 8, false},
    {"Matrix2x3bNormalizedAligned", VertexFormat::Byte, 3, 2, 4, true},
    {"Matrix2x3sNormalizedAligned", VertexFormat::Short, 3, 2, 8, true},
    {"Matrix3x2", VertexFormat::Float, 2, 3, 8, false},
    {"Matrix3x2h", VertexFormat::Half, 2, 3, 4, false},
    {"Matrix3x2d", VertexFormat::Double, 2, 3, 16, false},
    {"Matrix3x2bNormalized", VertexFormat::Byte, 2, 3, 2, true},
    {"Matrix3x2sNormalized", VertexFormat::Short, 2, 3, 4, true},
    {"Matrix3x3", VertexFormat::Float, 3, 3, 12, false},
    {"Matrix3x3h", VertexFormat::Half, 3, 3, 6, false},
    {"Matrix3x3d", VertexFormat::Double, 3, 3, 24, false},
    {"Matrix3x3bNormalized", VertexFormat::Byte, 3, 3, 3, true},
    {"Matrix3x3sNormalized", VertexFormat::Short, 3, 3, 6, true},
    {"Matrix3x4", VertexFormat::Float, 4, 3, 16, false},
    {"Matrix3x4h", VertexFormat::Half, 4, 3, 8, false},
    {"Matrix3x4d", VertexFormat::Double, 4, 3, 32, false},
    {"Matrix3x4bNormalized", VertexFormat::Byte, 4, 3, 4, true},
    {"Matrix3x4sNormalized", VertexFormat::Short, 4, 3, 8, true},
    {"Matrix3x2bNormalizedAligned", VertexFormat::Byte, 2, 3, 4, true},
    {"Matrix3x3hAligned", VertexFormat::Half, 3, 3, 8, false},
    {"Matrix3x3bNormalizedAligned", VertexFormat::Byte, 3, 3, 4, true},
    {"Matrix3x3sNormalizedAligned", VertexFormat::Short, 3, 3, 8, true},
    {"Matrix4x2", VertexFormat::Float, 2, 4, 8, false},
    {"Matrix4x2h", VertexFormat::Half, 2, 4, 4, false},
    {"Matrix4x2d", VertexFormat::Double, 2, 4, 16, false},
    {"Matrix4x2bNormalized", VertexFormat::Byte, 2, 4, 2, true},
    {"Matrix4x2sNormalized", VertexFormat::Short, 2, 4, 4, true},
    {"Matrix4x3", VertexFormat::Float, 3, 4, 12, false},
    {"Matrix4x3h", VertexFormat::Half, 3, 4, 6, false},
    {"Matrix4x3d", VertexFormat::Double, 3, 4, 24, false},
    {"Matrix4x3bNormalized", VertexFormat::Byte, 3, 4, 3, true},
    {"Matrix4x3sNormalized", VertexFormat::Short, 3, 4, 6, true},
    {"Matrix4x4", VertexFormat::Float, 4, 4, 16, false},
    {"Matrix4x4h", VertexFormat::Half, 4, 4, 8, false},
    {"Matrix4x4d", VertexFormat::Double, 4, 4, 32, false},
    {"Matrix4x4bNormalized", VertexFormat::Byte, 4, 4, 4, true},
    {"Matrix4x4sNormalized", VertexFormat::Short, 4, 4, 8, true},
    {"Matrix4x2bNormalizedAligned", VertexFormat::Byte, 2, 4, 4, true},
    {"Matrix4x3hAligned", VertexFormat::Half, 3, 4, 8, false},
    {"Matrix4x3bNormalizedAligned", VertexFormat::Byte, 3, 4, 4, true},
    {"Matrix4x3sNormalizedAligned", VertexFormat::Short, 3, 4, 8, true},
};

const FormatInfo& info(VertexFormat format, const char* function, const char* property) {
    return Formats[Implementation::checkedFormatIndex(format, isVertexFormatKnown(format), function,
                                                      property)];
}

} // namespace

Debug& operator<<(Debug& debug, VertexFormat value) {
    return Implementation::printWrappableEnum(
        debug, "VertexFormat",
        isVertexFormatKnown(value) ? Formats[std::uint32_t(value) - 1].name : "",
        std::uint32_t(value));
}

bool isVertexFormatKnown(VertexFormat format) {
    return std::uint32_t(format) - 1 < std::size(Formats);
}

std::uint32_t vertexFormatSize(VertexFormat format) {
    const FormatInfo& formatInfo = info(format, "vertexFormatSize", "size");
    return formatInfo.vectorCount * formatInfo.vectorStride;
}

VertexFormat vertexFormatComponentFormat(VertexFormat format) {
    return info(format, "vertexFormatComponentFormat", "component format").componentFormat;
}

std::uint32_t vertexFormatComponentCount(VertexFormat format) {
    return info(format, "vertexFormatComponentCount", "component count").componentCount;
}

std::uint32_t vertexFormatVectorCount(VertexFormat format) {
    return info(format, "vertexFormatVectorCount", "vector count").vectorCount;
}

std::uint32_t vertexFormatVectorStride(VertexFormat format) {
    return info(format, "vertexFormatVectorStride", "vector stride").vectorStride;
}

bool isVertexFormatNormalized(VertexFormat format) {
    return info(format, "isVertexFormatNormalized", "normalization").normalized;
}

VertexFormat vertexFormat(VertexFormat format, std::uint32_t componentCount, bool normalized) {
    const VertexFormat componentFormat = info(format, "vertexFormat", "components").componentFormat;
    ZE_ASSERT(componentCount >= 1 && componentCount <= 4,
              "vertexFormat(): invalid component count" << componentCount);
    for (std::uint32_t i = 0; i != std::size(Formats); ++i) {
        const FormatInfo& candidate = Formats[i];
        if (candidate.componentFormat == componentFormat && candidate.vectorCount == 1 &&
            candidate.componentCount == componentCount && candidate.normalized == normalized)
            return VertexFormat(i + 1);
    }
    ZE_ASSERT_UNREACHABLE("vertexFormat():" << componentFormat << "can't be made normalized");
}

} // namespace ZarvikEngine
