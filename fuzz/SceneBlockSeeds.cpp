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
    for (unsigned keep = 0; keep != 1u << blocksOf(sample).size(); ++keep) {
        SceneBlocks blocks;
        const auto kept = blocksOf(blocks);
        const auto all = blocksOf(sample);
        for (std::size_t k = 0; k != kept.size(); ++k)
            if (keep >> k & 1)
                *kept[k] = *all[k];
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
