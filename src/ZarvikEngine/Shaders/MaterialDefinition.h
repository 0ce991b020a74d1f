#ifndef ZarvikEngine_Shaders_MaterialDefinition_h
#define ZarvikEngine_Shaders_MaterialDefinition_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Shaders {

/* A material's alpha settings; the renderer defines the fields, records copy them verbatim */
struct AlphaMaterial {
    std::array<std::uint8_t, 16> bytes{};

    bool operator==(const AlphaMaterial&) const = default;
};
static_assert(sizeof(AlphaMaterial) == 16);

/* A material's parameter values, packed as its MaterialDefinition lays them out */
struct Material {
    std::vector<char> data;
};

/* The parameter block of one kind of material: parameter names, types and the position of
   each parameter in the packed block. Parameters are packed in declaration order without
   gaps; sizes count in a unit that the renderer decides. */
class MaterialDefinition {
public:
    enum class DataType : std::uint8_t {
        UnsignedInt = 0,
        Int = 1,
        HalfFloat = 2,
        Float = 3,
        Sampler = 4,
        Font = 5,
        Count = 6,
    };

    /* Values and meaning are set by the material and renderer code */
    enum class MetaType : std::uint8_t {};

    struct MaterialParamType {
        DataType dataType;
        std::uint8_t components;
        MetaType metaType;
    };
    static_assert(sizeof(MaterialParamType) == 3);

    /* paramIndex() of a name that isn't there */
    static constexpr std::size_t NotFound = ~std::size_t{};

    /* One type per name */
    MaterialDefinition(std::string_view name, StringArray&& names,
                       std::vector<MaterialParamType>&& types);

    MaterialDefinition(MaterialDefinition&&) = default;
    MaterialDefinition& operator=(MaterialDefinition&&) = default;

    const std::string& name() const { return _name; }
    std::size_t paramCount() const { return _types.size(); }

    std::string_view paramName(std::size_t i) const { return _names.get(i); }
    DataType paramType(std::size_t i) const { return type(i, "paramType").dataType; }
    std::uint8_t paramComponents(std::size_t i) const {
        return type(i, "paramComponents").components;
    }
    MetaType paramMetaType(std::size_t i) const { return type(i, "paramMetaType").metaType; }

    /* The first parameter of that name, or NotFound */
    std::size_t paramIndex(std::string_view name) const;
    /* Components, twice as many for half floats and samplers */
    std::size_t paramSize(std::size_t i) const;
    /* Sum of the sizes of the parameters before i; i may be paramCount() */
    std::size_t paramOffset(std::size_t i) const;
    /* Size of the whole block */
    std::size_t size() const { return paramOffset(paramCount()); }

    std::size_t propertiesCount(DataType type) const;
    /* Indices of the parameters of that type, ascending */
    std::vector<std::size_t> findProperties(DataType type) const;
    std::vector<std::size_t> findTextureProperties() const {
        return findProperties(DataType::Sampler);
    }

private:
    const MaterialParamType& type(std::size_t i, const char* function) const;

    std::string _name;
    StringArray _names;
    std::vector<MaterialParamType> _types;
};

/* "MaterialDefinition::DataType::Float"; values without a name print in hexadecimal */
Debug& operator<<(Debug& debug, MaterialDefinition::DataType value);

} // namespace ZarvikEngine::Shaders

#endif
