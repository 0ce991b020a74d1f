#include "ZarvikEngine/Trade/WrappedEnum.h"

namespace ZarvikEngine::Implementation {

Debug& printWrappableEnum(Debug& debug, std::string_view typeName, std::string_view valueName,
                          std::uint32_t value) {
    if (value & ImplementationSpecificBit)
        return debug.print(fmt::format("{}::ImplementationSpecific({:#x})", typeName,
                                       value & ~ImplementationSpecificBit));
    return printEnum(debug, typeName, valueName, value);
}

} // namespace ZarvikEngine::Implementation
