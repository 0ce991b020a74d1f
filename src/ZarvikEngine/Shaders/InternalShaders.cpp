#include "ZarvikEngine/Shaders/InternalShaders.h"

#include <string>
#include <vector>

#include "ZarvikEngine/Utils/IncludeInlining.h"

namespace ZarvikEngine::Shaders {

namespace {

/* The shaders with their headers inlined, kept for the life of the process */
struct Registration {
    std::vector<std::string> texts;
    std::vector<Resource::File> files;

    Registration() {
        Utils::IncludeTable headers;
        for (const Resource::File& header : Implementation::InternalShaderHeaders)
            headers.emplace(header.name, header.data);
        for (const Resource::File& shader : Implementation::InternalShaderSources) {
            /* WGSL has no #line */
            const bool lineDirectives = shader.name.find(".wgsl") == std::string_view::npos;
            texts.push_back(Utils::inlineIncludes(shader.data, headers, lineDirectives));
        }
        for (std::size_t i = 0; i != texts.size(); ++i)
            files.push_back({Implementation::InternalShaderSources[i].name, texts[i]});
        Resource::registerGroup(InternalShadersGroup, files);
    }
} registration;

} // namespace

} // namespace ZarvikEngine::Shaders
