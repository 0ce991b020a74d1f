#include <sstream>

#include "Commands.h"
#include "ZarvikEngine/Data/AssetData.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Text/FontCompiler.h"

namespace ZarvikEngine::Tool {

std::optional<std::vector<char>> compileFontFile(const std::string& source) {
    const std::optional<std::vector<char>> file = readFile(source);
    if (!file)
        return {};
    std::optional<std::vector<char>> compiled;
    std::ostringstream why;
    {
        Error redirect{&why};
        compiled = Text::compileFont(*file);
    }
    if (!compiled) {
        std::string message = why.str();
        message.erase(message.find_last_not_of('\n') + 1);
        reportError(source, message);
    }
    return compiled;
}

int font(const std::string& source, const std::string& output) {
    const std::optional<std::vector<char>> compiled = compileFontFile(source);
    if (!compiled)
        return Failure;

    std::vector<char> asset;
    Data::appendHeaderData(asset);
    Data::AssetChunk::create(Data::FontData::magic, Data::createFontData(*compiled), asset);
    Data::updateHeaderData(asset);
    if (!writeFile(output, asset))
        return Failure;
    Debug{} << "zarvik: compiled" << Text::FontView{*compiled}.glyphs().size() << "glyphs of"
            << source << "into" << output << Debug::nospace << "," << asset.size() << "bytes";
    return Success;
}

} // namespace ZarvikEngine::Tool
