#ifndef ZarvikEngine_Trade_MaterialData_h
#define ZarvikEngine_Trade_MaterialData_h

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Trade {

/* Which shading models a material has attributes for */
enum class MaterialType : std::uint32_t {
    Flat = 1 << 0,
    Phong = 1 << 1,
    PbrMetallicRoughness = 1 << 2,
    PbrSpecularGlossiness = 1 << 3,
    PbrClearCoat = 1 << 4,
};

using MaterialTypes = EnumSet<MaterialType>;
ZE_ENUMSET_OPERATORS(MaterialTypes)

/* "Trade::MaterialType::Phong" */
Debug& operator<<(Debug& debug, MaterialType value);
/* "Trade::MaterialType::Flat|Trade::MaterialType::Phong", "Trade::MaterialTypes{}" when empty */
Debug& operator<<(Debug& debug, MaterialTypes value);

/* How a material's alpha is used */
enum class MaterialAlphaMode : std::uint8_t {
    Opaque,
    /* Drawn where alpha reaches the AlphaMask value */
    Mask,
    Blend,
};

/* "Trade::MaterialAlphaMode::Blend" */
Debug& operator<<(Debug& debug, MaterialAlphaMode value);

/* The attributes importers fill, by the names they are stored under. Colors are linear,
   textures are indices among the importer's textures, texture coordinate sets are indices
   among a mesh's sets. */
enum class MaterialAttribute : std::uint16_t {
    /* Float, the threshold of MaterialAlphaMode::Mask */
    AlphaMask,
    /* Bool */
    AlphaBlend,
    /* Bool */
    DoubleSided,
    /* Vector4 */
    BaseColor,
    /* UnsignedInt */
    BaseColorTexture,
    /* UnsignedInt */
    BaseColorTextureCoordinates,
    /* Float */
    Metalness,
    /* Float */
    Roughness,
    /* UnsignedInt, metalness in blue and roughness in green */
    MetalnessRoughnessTexture,
    /* UnsignedInt */
    MetalnessRoughnessTextureCoordinates,
    /* UnsignedInt */
    NormalTexture,
    /* Float */
    NormalTextureScale,
    /* UnsignedInt */
    NormalTextureCoordinates,
    /* UnsignedInt */
    OcclusionTexture,
    /* Float */
    OcclusionTextureStrength,
    /* UnsignedInt */
    OcclusionTextureCoordinates,
    /* Vector3 */
    EmissiveColor,
    /* UnsignedInt */
    EmissiveTexture,
    /* UnsignedInt */
    EmissiveTextureCoordinates,
    /* Vector4 */
    AmbientColor,
    /* Vector4 */
    DiffuseColor,
    /* UnsignedInt */
    DiffuseTexture,
    /* UnsignedInt */
    DiffuseTextureCoordinates,
    /* Vector4 */
    SpecularColor,
    /* UnsignedInt */
    SpecularTexture,
    /* Float */
    Shininess,
    /* Float */
    Glossiness,
};

/* "AlphaMask", "BaseColorTexture", … */
std::string_view materialAttributeName(MaterialAttribute attribute);

using MaterialAttributeValue = std::variant<bool, float, std::uint32_t, std::int32_t, Vector2,
                                            Vector3, Vector4, Matrix3, std::string>;

/* One named value */
struct MaterialAttributeData {
    std::string name;
    MaterialAttributeValue value;
};

/* A material: its shading models and a set of named attributes, sorted by name. Move-only. */
class MaterialData {
public:
    /* Names must be unique and non-empty */
    MaterialData(MaterialTypes types, std::vector<MaterialAttributeData> attributes);

    MaterialData(const MaterialData&) = delete;
    MaterialData(MaterialData&&) noexcept = default;
    MaterialData& operator=(const MaterialData&) = delete;
    MaterialData& operator=(MaterialData&&) noexcept = default;

    MaterialTypes types() const { return _types; }

    std::uint32_t attributeCount() const { return std::uint32_t(_attributes.size()); }
    /* By position in name order */
    const MaterialAttributeData& attributeData(std::uint32_t id) const;

    bool hasAttribute(std::string_view name) const { return find(name) != nullptr; }
    bool hasAttribute(MaterialAttribute name) const {
        return hasAttribute(materialAttributeName(name));
    }

    /* The value when the attribute is there with type T, else nothing */
    template<class T>
    std::optional<T> findAttribute(std::string_view name) const {
        const MaterialAttributeData* attribute = find(name);
        if (!attribute || !std::holds_alternative<T>(attribute->value))
            return std::nullopt;
        return std::get<T>(attribute->value);
    }
    template<class T>
    std::optional<T> findAttribute(MaterialAttribute name) const {
        return findAttribute<T>(materialAttributeName(name));
    }

    /* The value, or defaultValue when there is none of type T */
    template<class T>
    T attributeOr(MaterialAttribute name, const T& defaultValue) const {
        return findAttribute<T>(name).value_or(defaultValue);
    }

    /* Blend when AlphaBlend is true, else Mask when AlphaMask is there, else Opaque */
    MaterialAlphaMode alphaMode() const;
    /* AlphaMask, 0.5 when absent */
    float alphaMask() const;
    /* DoubleSided, false when absent */
    bool isDoubleSided() const;

private:
    const MaterialAttributeData* find(std::string_view name) const;

    MaterialTypes _types;
    std::vector<MaterialAttributeData> _attributes;
};

} // namespace ZarvikEngine::Trade

#endif
