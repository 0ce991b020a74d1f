#include "ZarvikEngine/Trade/ImporterForFile.h"

#include <cctype>
#include <string>

#include "ZarvikEngine/Trade/AssimpImporter.h"
#include "ZarvikEngine/Trade/GltfImporter.h"

namespace ZarvikEngine::Trade {

std::unique_ptr<AbstractImporter> importerForFile(const std::filesystem::path& filename) {
    std::string extension = filename.extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".gltf" || extension == ".glb")
        return std::make_unique<GltfImporter>();
    if (AssimpImporter::canOpen(extension))
        return std::make_unique<AssimpImporter>();
    return nullptr;
}

} // namespace ZarvikEngine::Trade
