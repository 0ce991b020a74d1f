#ifndef ZarvikEngine_Trade_ImporterForFile_h
#define ZarvikEngine_Trade_ImporterForFile_h

#include <filesystem>
#include <memory>

#include "ZarvikEngine/Trade/AbstractImporter.h"

namespace ZarvikEngine::Trade {

/* The importer for a scene file by its extension, in any case: the glTF importer for .gltf and
   .glb, the assimp one for every other extension assimp reads, nothing for the rest. Nothing
   is opened yet. */
std::unique_ptr<AbstractImporter> importerForFile(const std::filesystem::path& filename);

} // namespace ZarvikEngine::Trade

#endif
