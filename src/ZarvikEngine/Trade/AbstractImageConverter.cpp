#include "ZarvikEngine/Trade/AbstractImageConverter.h"

namespace ZarvikEngine::Trade {

void ConverterConfiguration::setValue(std::string_view name, std::string_view value) {
    _values.insert_or_assign(std::string{name}, std::string{value});
}

std::optional<std::string_view> ConverterConfiguration::value(std::string_view name) const {
    const auto found = _values.find(name);
    if (found == _values.end())
        return std::nullopt;
    return found->second;
}

AbstractImageConverter::~AbstractImageConverter() = default;

} // namespace ZarvikEngine::Trade
