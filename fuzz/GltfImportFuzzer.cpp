/* Feeds arbitrary bytes to zarvik import as a .gltf or .glb opened from memory: the glTF
   importer, the scene cache, every conversion and record writer, and the validation of the
   file made. An abort, a sanitizer report, a leak, a hang, a runaway allocation or an
   imported file that doesn't validate is a finding. */

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "SceneImport.h"
#include "ZarvikEngine/Trade/GltfImporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ZarvikEngine;
    std::ostringstream errors;
    Error captureErrors{&errors};
    Warning silenceWarnings{nullptr};
    Trade::GltfImporter importer;
    if (!importer.openData({reinterpret_cast<const char*>(data), size}))
        return 0;

    Tool::ImportOptions options;
    options.source = "fuzz.glb";
    Tool::ImportCounts counts;
    if (!Tool::importIntoMemory(importer, options, counts, [](const char*) {}) &&
        errors.str().find("doesn't validate") != std::string::npos) {
        std::fputs(errors.str().c_str(), stderr);
        std::abort();
    }
    return 0;
}
