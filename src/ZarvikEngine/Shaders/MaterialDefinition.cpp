#include "ZarvikEngine/Shaders/MaterialDefinition.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

namespace ZarvikEngine::Shaders {

MaterialDefinition::MaterialDefinition(std::string_view name, StringArray&& names,
                                       std::vector<MaterialParamType>&& types)
    : _name{name}, _names{std::move(names)}, _types{std::move(types)} {
    ZE_ASSERT(_names.size() == _types.size(), "MaterialDefinition: got"
                                                  << _names.size() << "parameter names but"
                                                  << _types.size() << "types");
}

const MaterialDefinition::MaterialParamType& MaterialDefinition::type(std::size_t i,
                                                                      const char* function) const {
    ZE_ASSERT(i < _types.size(), "MaterialDefinition::" << Debug::nospace << function
                                                        << Debug::nospace << "(): invalid index"
                                                        << i << "for size" << _types.size());
    return _types[i];
}

std::size_t MaterialDefinition::paramIndex(std::string_view name) const {
    const auto found = _names.find(name);
    return found == _names.end() ? NotFound : found.index();
}

std::size_t MaterialDefinition::paramSize(std::size_t i) const {
    const MaterialParamType& param = type(i, "paramSize");
    const bool doubled =
        param.dataType == DataType::HalfFloat || param.dataType == DataType::Sampler;
    return doubled ? 2 * std::size_t{param.components} : param.components;
}

std::size_t MaterialDefinition::paramOffset(std::size_t i) const {
    ZE_ASSERT(i <= _types.size(), "MaterialDefinition::paramOffset(): invalid index"
                                      << i << "for size" << _types.size());
    std::size_t offset = 0;
    for (std::size_t j = 0; j != i; ++j)
        offset += paramSize(j);
    return offset;
}

std::size_t MaterialDefinition::propertiesCount(DataType type) const {
    return std::size_t(std::ranges::count(_types, type, &MaterialParamType::dataType));
}

std::vector<std::size_t> MaterialDefinition::findProperties(DataType type) const {
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i != _types.size(); ++i)
        if (_types[i].dataType == type)
            indices.push_back(i);
    return indices;
}

Debug& operator<<(Debug& debug, MaterialDefinition::DataType value) {
    using DataType = MaterialDefinition::DataType;
    debug << "MaterialDefinition::DataType" << Debug::nospace;
    switch (value) {
#define ZE_DATA_TYPE(name)                                                                         \
    case DataType::name:                                                                           \
        return debug << "::" #name;
        ZE_DATA_TYPE(UnsignedInt)
        ZE_DATA_TYPE(Int)
        ZE_DATA_TYPE(HalfFloat)
        ZE_DATA_TYPE(Float)
        ZE_DATA_TYPE(Sampler)
        ZE_DATA_TYPE(Font)
        ZE_DATA_TYPE(Count)
#undef ZE_DATA_TYPE
    }
    return debug << fmt::format("({:#x})", unsigned(value));
}

} // namespace ZarvikEngine::Shaders
