/* Writes the seed corpus of the scene block fuzz target into the directory given: the blocks
   of a sample scene with scripts of several lengths, and with some blocks left out so that
   each owner is also fuzzed on its own */

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/SceneBlockExercise.h"

int main(int argc, char** argv) {
    using namespace ZarvikEngine::Data::Test;
    if (argc != 2)
        return 2;
    const SceneBlocks sample = sampleSceneBlocks();
    std::mt19937 random{1};
    int written = 0;
    for (int keep = 0; keep != 1024; ++keep) {
        SceneBlocks blocks;
        if (keep & 1)
            blocks.scene = sample.scene;
        if (keep & 2)
            blocks.meshes = sample.meshes;
        if (keep & 4)
            blocks.names = sample.names;
        if (keep & 8)
            blocks.values = sample.values;
        if (keep & 16)
            blocks.animations = sample.animations;
        if (keep & 32)
            blocks.views = sample.views;
        if (keep & 64)
            blocks.lights = sample.lights;
        if (keep & 128)
            blocks.collisions = sample.collisions;
        if (keep & 256)
            blocks.inputs = sample.inputs;
        if (keep & 512)
            blocks.scripts = sample.scripts;
        /* Managers need the scene whose records they match */
        if (!blocks.scene.empty() || keep == 0) {
            std::vector<std::uint8_t> script(16 + keep % 256);
            for (std::uint8_t& byte : script)
                byte = std::uint8_t(random());
            const std::vector<std::uint8_t> input = encodeSceneBlocks(blocks, script);
            std::ofstream{std::string{argv[1]} + "/seed" + std::to_string(written++),
                          std::ios::binary}
                .write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
        }
    }
    return 0;
}
