#include "ZarvikEngine/Trade/MaterialData.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace ZarvikEngine::Trade {

namespace {

constexpr std::string_view TypeNames[]{"Flat", "Phong", "PbrMetallicRoughness",
                                       "PbrSpecularGlossiness", "PbrClearCoat"};

constexpr std::string_view AlphaModeNames[]{"Opaque", "Mask", "Blend"};

/* Indexed by value */
constexpr std::string_view AttributeNames[]{"AlphaMask",
                                            "AlphaBlend",
                                            "DoubleSided",
                                            "BaseColor",
                                            "BaseColorTexture",
                                            "BaseColorTextureCoordinates",
                                            "Metalness",
                                            "Roughness",
                                            "MetalnessRoughnessTexture",
                                            "MetalnessRoughnessTextureCoordinates",
                                            "NormalTexture",
                                            "NormalTextureScale",
                                            "NormalTextureCoordinates",
                                            "OcclusionTexture",
                                            "OcclusionTextureStrength",
                                            "OcclusionTextureCoordinates",
                                            "EmissiveColor",
                                            "EmissiveTexture",
                                            "EmissiveTextureCoordinates",
                                            "AmbientColor",
                                            "DiffuseColor",
                                            "DiffuseTexture",
                                            "DiffuseTextureCoordinates",
                                            "SpecularColor",
                                            "SpecularTexture",
                                            "Shininess",
                                            "Glossiness"};

} // namespace

Debug& operator<<(Debug& debug, MaterialType value) {
    const auto bits = std::uint32_t(value);
    const bool single = bits != 0 && (bits & (bits - 1)) == 0;
    const std::size_t index = single ? std::size_t(std::countr_zero(bits)) : std::size(TypeNames);
    return printEnum(debug, "Trade::MaterialType",
                     index < std::size(TypeNames) ? TypeNames[index] : "", bits);
}

Debug& operator<<(Debug& debug, MaterialTypes value) {
    return printEnumSet(debug, value, "Trade::MaterialTypes{}");
}

Debug& operator<<(Debug& debug, MaterialAlphaMode value) {
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Trade::MaterialAlphaMode",
                     index < std::size(AlphaModeNames) ? AlphaModeNames[index] : "", index);
}

std::string_view materialAttributeName(MaterialAttribute attribute) {
    const std::size_t index = std::size_t(attribute);
    ZE_ASSERT(index < std::size(AttributeNames),
              "Trade::materialAttributeName(): invalid attribute" << index);
    return AttributeNames[index];
}

MaterialData::MaterialData(MaterialTypes types, std::vector<MaterialAttributeData> attributes)
    : _types{types}, _attributes{std::move(attributes)} {
    std::sort(_attributes.begin(), _attributes.end(),
              [](const MaterialAttributeData& a, const MaterialAttributeData& b) {
                  return a.name < b.name;
              });
    for (std::size_t i = 0; i != _attributes.size(); ++i) {
        ZE_ASSERT(!_attributes[i].name.empty(), "Trade::MaterialData: attribute name is empty");
        ZE_ASSERT(i == 0 || _attributes[i - 1].name != _attributes[i].name,
                  "Trade::MaterialData: duplicate attribute" << _attributes[i].name);
    }
}

const MaterialAttributeData& MaterialData::attributeData(std::uint32_t id) const {
    ZE_ASSERT(id < _attributes.size(), "Trade::MaterialData::attributeData(): index"
                                           << id << "out of range for" << _attributes.size()
                                           << "attributes");
    return _attributes[id];
}

const MaterialAttributeData* MaterialData::find(std::string_view name) const {
    const auto found = std::lower_bound(
        _attributes.begin(), _attributes.end(), name,
        [](const MaterialAttributeData& a, std::string_view b) { return a.name < b; });
    return found != _attributes.end() && found->name == name ? &*found : nullptr;
}

MaterialAlphaMode MaterialData::alphaMode() const {
    if (attributeOr(MaterialAttribute::AlphaBlend, false))
        return MaterialAlphaMode::Blend;
    if (hasAttribute(MaterialAttribute::AlphaMask))
        return MaterialAlphaMode::Mask;
    return MaterialAlphaMode::Opaque;
}

float MaterialData::alphaMask() const {
    return attributeOr(MaterialAttribute::AlphaMask, 0.5f);
}

bool MaterialData::isDoubleSided() const {
    return attributeOr(MaterialAttribute::DoubleSided, false);
}

} // namespace ZarvikEngine::Trade
