#include "ImportedMaterial.h"

#include <cstring>
#include <vector>

namespace ZarvikEngine::Tool {

namespace {

/* Bytes of one unit of a parameter's size */
constexpr std::size_t WordSize = 4;

using DataType = Shaders::MaterialDefinition::DataType;

Shaders::MaterialDefinition makeDefinition() {
    const std::vector<std::pair<std::string_view, Shaders::MaterialDefinition::MaterialParamType>>
        parameters{{"baseColor", {DataType::Float, 4, {}}},
                   {"baseColorTexture", {DataType::Sampler, 1, {}}},
                   {"metallic", {DataType::Float, 1, {}}},
                   {"roughness", {DataType::Float, 1, {}}},
                   {"metallicRoughnessTexture", {DataType::Sampler, 1, {}}},
                   {"normalTexture", {DataType::Sampler, 1, {}}},
                   {"normalScale", {DataType::Float, 1, {}}},
                   {"occlusionTexture", {DataType::Sampler, 1, {}}},
                   {"occlusionStrength", {DataType::Float, 1, {}}},
                   {"emissive", {DataType::Float, 3, {}}},
                   {"emissiveTexture", {DataType::Sampler, 1, {}}}};
    std::vector<std::string_view> names;
    std::vector<Shaders::MaterialDefinition::MaterialParamType> types;
    for (const auto& [name, type] : parameters) {
        names.push_back(name);
        types.push_back(type);
    }
    return Shaders::MaterialDefinition{"ImportedMetallicRoughness", fromStrings(names),
                                       std::move(types)};
}

/* Writes the words of a parameter by name */
class ParameterWriter {
public:
    explicit ParameterWriter(const Shaders::MaterialDefinition& definition)
        : _definition{definition}, _data(definition.size() * WordSize) {}

    template<class T>
    void set(std::string_view name, const T& value) {
        const std::size_t index = _definition.paramIndex(name);
        ZE_INTERNAL_ASSERT(index != Shaders::MaterialDefinition::NotFound &&
                           _definition.paramSize(index) * WordSize == sizeof(T));
        std::memcpy(_data.data() + _definition.paramOffset(index) * WordSize, &value, sizeof(T));
    }

    void setTexture(std::string_view name, std::int32_t texture) {
        const std::int32_t sampler[]{texture, 0};
        set(name, sampler);
    }

    std::vector<char>&& release() { return std::move(_data); }

private:
    const Shaders::MaterialDefinition& _definition;
    std::vector<char> _data;
};

} // namespace

const Shaders::MaterialDefinition& importedMaterialDefinition() {
    static const Shaders::MaterialDefinition definition = makeDefinition();
    return definition;
}

Shaders::AlphaMaterial ImportedMaterial::alphaMaterial() const {
    Shaders::AlphaMaterial alpha;
    alpha.bytes[0] = std::uint8_t(alphaMode);
    alpha.bytes[1] = doubleSided;
    std::memcpy(alpha.bytes.data() + 4, &alphaMask, sizeof(float));
    return alpha;
}

Shaders::Material
ImportedMaterial::parameters(const Shaders::MaterialDefinition& definition) const {
    ParameterWriter writer{definition};
    writer.set("baseColor", baseColor);
    writer.setTexture("baseColorTexture", baseColorTexture);
    writer.set("metallic", metallic);
    writer.set("roughness", roughness);
    writer.setTexture("metallicRoughnessTexture", metallicRoughnessTexture);
    writer.setTexture("normalTexture", normalTexture);
    writer.set("normalScale", normalScale);
    writer.setTexture("occlusionTexture", occlusionTexture);
    writer.set("occlusionStrength", occlusionStrength);
    writer.set("emissive", emissive);
    writer.setTexture("emissiveTexture", emissiveTexture);
    return {writer.release()};
}

} // namespace ZarvikEngine::Tool
