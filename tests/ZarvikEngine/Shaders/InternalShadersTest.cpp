#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandHelpers.h"
#include "ZarvikEngine/Resource.h"
#include "ZarvikEngine/Shaders/InternalShaders.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

namespace ZarvikEngine::Shaders {
namespace {

using ZarvikEngine::Test::CommandOutput;
using ZarvikEngine::Test::runCommand;
using ZarvikEngine::Test::runOnTemporaryFile;

/* Names the text tests with #ifdef, #ifndef or defined but doesn't define itself, other than
   the SHADER_ kinds every file sets for itself */
std::vector<std::string> featureDefines(const std::string& text) {
    std::set<std::string> tested, defined;
    const std::regex test{R"((?:#\s*ifn?def\s+|defined\s*\(?\s*)(\w+))"};
    const std::regex define{R"(#\s*define\s+(\w+))"};
    for (std::sregex_iterator i{text.begin(), text.end(), test}, end; i != end; ++i)
        tested.insert((*i)[1]);
    for (std::sregex_iterator i{text.begin(), text.end(), define}, end; i != end; ++i)
        defined.insert((*i)[1]);
    std::vector<std::string> features;
    for (const std::string& name : tested)
        if (!defined.contains(name) && !name.starts_with("SHADER_"))
            features.push_back(name);
    return features;
}

/* The text through the preprocessor, after #define lines of the features whose bits are set */
std::string preprocess(std::string_view text, const std::vector<std::string>& features,
                       unsigned bits) {
    Utils::Preprocessor preprocessor{true};
    std::string prelude;
    for (std::size_t i = 0; i != features.size(); ++i)
        if (bits >> i & 1)
            prelude += "#define " + features[i] + "\n";
    preprocessor << std::move(prelude) << text;
    EXPECT_TRUE(preprocessor.isValid());
    return std::string{preprocessor.output()};
}

TEST(InternalShaders, AreRegisteredExpandedWithTheirRolesNames) {
    ASSERT_TRUE(Resource::hasGroup(InternalShadersGroup));
    const Resource group{InternalShadersGroup};
    EXPECT_EQ(group.list(),
              (std::vector<std::string_view>{
                  "Bloom.frag", "ComponentId.frag", "CopyAtlasTile.frag", "CopyDepth.frag",
                  "CubemapToEquirectangular.frag", "Dynamic.vert", "Dynamic.wgsl.vert",
                  "FullScreenTriangle.vert", "IrradianceIBLBaker.frag", "Overdraw.frag",
                  "SpecularIBLBaker.frag", "Text.frag", "Text.vert", "VisualizeTileFeedback.frag",
                  "VisualizeVirtualAtlas.frag"}));

    /* Uniforms, inputs, outputs and defines each role names */
    const std::pair<std::string_view, std::vector<std::string_view>> names[]{
        {"Bloom.frag",
         {"THRESHOLD", "DOWNSAMPLE", "UPSAMPLE", "COMBINE", "bloomTexture", "sceneTexture",
          "spacing", "threshold", "width", "bloomIntensity", "exposure", "flags"}},
        {"ComponentId.frag",
         {"componentType", "componentIndex", "#define NORMALIZE 255.0", "#define USE_OBJECT_ID"}},
        {"CopyAtlasTile.frag", {"viewport", "inColor"}},
        {"CopyDepth.frag", {"viewport", "inColor", "gl_FragDepth"}},
        {"CubemapToEquirectangular.frag", {"samplerCube environment"}},
        {"Dynamic.vert",
         {"layout(location = 0) in vec3 position",
          "layout(location = 1) in vec2 textureCoordinates", "layout(location = 2) in vec4 color",
          "sampler2D transformations", "worldToView", "viewToWorld", "viewPosition",
          "projectionMatrix", "inverseProjectionMatrix", "lightCounts", "transformPoint"}},
        {"Dynamic.wgsl.vert",
         {"#define i8 i32", "#define i16 i32", "#define u8 u32", "#define u16 u32",
          "#define f8 f32", "#define f16 f32", "transformations", "transformPoint"}},
        {"FullScreenTriangle.vert", {"out vec2 ndcCoordinates", "out vec2 textureCoordinates"}},
        {"IrradianceIBLBaker.frag", {"samplerCube environment"}},
        {"Overdraw.frag", {"uniform vec4 color"}},
        {"SpecularIBLBaker.frag", {"samplerCube environment", "roughness"}},
        {"Text.frag",
         {"layout(std430, binding = 0) readonly buffer TextCurves",
          "layout(std430, binding = 1) readonly buffer TextBands",
          "layout(std430, binding = 2) readonly buffer TextBandCurves", "dFdx", "outColor"}},
        {"Text.vert",
         {"layout(location = 4) in vec2 position", "layout(location = 9) in vec4 color",
          "uniform uint objectId", "sampler2D transformations", "projectionMatrix", "viewport"}},
        {"VisualizeTileFeedback.frag", {"tileFeedback"}},
        {"VisualizeVirtualAtlas.frag",
         {"indirection", "tileCache", "layer", "SHOW_BORDER", "#define TILE_SIZE 256.0",
          "#define TILE_BORDER 2.0"}},
    };
    for (const auto& [file, expected] : names) {
        SCOPED_TRACE(file);
        const std::string_view text = group.getString(file);
        for (std::string_view name : expected)
            EXPECT_NE(text.find(name), std::string_view::npos) << name;
        /* Own defines, then the inlined headers (WGSL has no #line) */
        std::size_t afterDefines = 0;
        while (text.substr(afterDefines).starts_with("#define "))
            afterDefines = text.find('\n', afterDefines) + 1;
        EXPECT_GT(afterDefines, 0u);
        if (!file.ends_with(".wgsl.vert")) {
            EXPECT_TRUE(text.substr(afterDefines).starts_with("#line 1\n"));
        }
        EXPECT_EQ(text.find("#include"), std::string_view::npos);
        if (file.ends_with(".frag")) {
            EXPECT_TRUE(text.starts_with("#define SHADER_INTERNAL\n"));
            /* Text is drawn from meshes, everything else over the whole screen */
            EXPECT_EQ(text.starts_with("#define SHADER_INTERNAL\n"
                                       "#define SHADER_TYPE_SCREENSPACE_QUAD\n"),
                      file != "Text.frag");
        }
    }
}

TEST(InternalShaders, CompileWithGlslangForEveryFeatureCombination) {
    const Resource group{InternalShadersGroup};
    int compiled = 0;
    for (std::string_view file : group.list()) {
        if (file.find(".wgsl") != std::string_view::npos)
            continue;
        SCOPED_TRACE(file);
        const std::string text{group.getString(file)};
        /* Storage buffers came with ES 3.1 */
        const std::string version = text.find("readonly buffer") == std::string::npos
                                        ? "#version 300 es\n"
                                        : "#version 310 es\n";
        /* As stored, with glslang's own preprocessor */
        const CommandOutput stored = runOnTemporaryFile("glslangValidator", file, version + text);
        EXPECT_EQ(stored.status, 0) << stored.output;
        const std::vector<std::string> features = featureDefines(text);
        ASSERT_LE(features.size(), 4u);
        for (unsigned bits = 0; bits != 1u << features.size(); ++bits) {
            SCOPED_TRACE(bits);
            const std::string preprocessed = preprocess(text, features, bits);
            EXPECT_EQ(preprocessed.find("#if"), std::string::npos);
            const CommandOutput result =
                runOnTemporaryFile("glslangValidator", file, version + preprocessed);
            EXPECT_EQ(result.status, 0) << result.output << preprocessed;
            ++compiled;
        }
    }
    /* Dynamic.vert has three features, the virtual atlas view one, twelve shaders none */
    EXPECT_EQ(compiled, 8 + 2 + 12);
}

TEST(InternalShaders, WgslParsesAfterPreprocessing) {
    const std::filesystem::path parser = ZARVIK_WGSL_PARSER;
    if (!std::filesystem::exists(parser / "package.json"))
        GTEST_SKIP() << "No WGSL parser: Debian 12 packages none; wgsl_reflect from npm, put "
                        "into "
                     << parser << ", is used when it is there";
    const CommandOutput node = runCommand("node --version");
    if (node.status != 0)
        GTEST_SKIP() << "No WGSL parser: Node.js is missing";
    std::ifstream manifest{parser / "package.json"};
    const std::string manifestText{std::istreambuf_iterator<char>{manifest}, {}};
    std::smatch version;
    std::regex_search(manifestText, version, std::regex{R"x("version": "([^"]+)")x"});
    std::cout << "WGSL checked with the wgsl_reflect parser " << version[1] << " on Node.js "
              << node.output;

    const std::string parse = std::string{"node "} + ZARVIK_PARSE_WGSL + " " +
                              (parser / "wgsl_reflect.module.js").string();
    const std::string stored{Resource{InternalShadersGroup}.getString("Dynamic.wgsl.vert")};
    const std::string preprocessed = preprocess(stored, {}, 0);
    /* The small types are gone, and the parser does reject what isn't WGSL yet */
    EXPECT_FALSE(std::regex_search(preprocessed, std::regex{R"(\b([iuf](8|16))\b)"}));
    const CommandOutput result = runOnTemporaryFile(parse, "Dynamic.wgsl", preprocessed);
    EXPECT_EQ(result.status, 0) << result.output << preprocessed;
    EXPECT_NE(runOnTemporaryFile(parse, "Dynamic.wgsl", stored).status, 0);
}

} // namespace
} // namespace ZarvikEngine::Shaders
