/* Blocks of a scene and its managers from outside: what validation rejects, and that what it
   accepts survives every operation */

#include <cstring>
#include <random>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "SceneBlockExercise.h"
#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {
namespace {

/* Test alone names the fixture base inside a test */
namespace Blocks = Data::Test;
using Blocks::SceneBlocks;

std::vector<std::uint8_t> randomScript(std::mt19937& random, std::size_t size) {
    std::vector<std::uint8_t> script(size);
    for (std::uint8_t& byte : script)
        byte = std::uint8_t(random());
    return script;
}

template<class T>
void writeAt(std::vector<char>& block, std::size_t offset, T value) {
    std::memcpy(block.data() + offset, &value, sizeof(T));
}

TEST(SceneBlockValidation, SampleBlocksPassAndStayValidThroughEveryOperation) {
    const SceneBlocks blocks = Blocks::sampleSceneBlocks();
    ASSERT_EQ(SceneGraph::validate(blocks.scene), std::nullopt);
    ASSERT_EQ(MeshManager::validate(blocks.meshes), std::nullopt);
    ASSERT_EQ(NameManager::validate(blocks.names), std::nullopt);
    ASSERT_EQ(Blocks::ValueManager::validate(blocks.values), std::nullopt);
    ASSERT_EQ(AnimationManager::validate(blocks.animations), std::nullopt);
    ASSERT_EQ(ViewManager::validate(blocks.views), std::nullopt);
    ASSERT_EQ(LightManager::validate(blocks.lights), std::nullopt);
    ASSERT_EQ(CollisionManager::validate(blocks.collisions), std::nullopt);
    ASSERT_EQ(InputManager::validate(blocks.inputs), std::nullopt);
    ASSERT_EQ(JavaScriptManager::validate(blocks.scripts), std::nullopt);
    ASSERT_EQ(TextManager::validate(blocks.texts), std::nullopt);
    std::mt19937 random{7};
    for (int run = 0; run != 20; ++run)
        EXPECT_TRUE(Blocks::exerciseSceneBlocks(blocks, randomScript(random, 600)));

    /* The fuzz input format carries the blocks unchanged */
    const std::vector<std::uint8_t> script{1, 2, 3};
    const std::vector<std::uint8_t> encoded = Blocks::encodeSceneBlocks(blocks, script);
    const auto decoded = Blocks::decodeSceneBlocks(encoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->first.names, blocks.names);
    EXPECT_EQ(std::vector<std::uint8_t>(decoded->second.begin(), decoded->second.end()), script);
}

TEST(SceneBlockValidation, ManagerBlocksNameTheirProblems) {
    const SceneBlocks blocks = Blocks::sampleSceneBlocks();
    const auto header = [&](const std::vector<char>& block) {
        return Validation::read<SparseArray::Header>(block.data());
    };
    const auto corrupted = [](std::vector<char> block, auto change) {
        change(block);
        return block;
    };

    /* Sparse-array header and maps, through the plain manager */
    const std::size_t values = blocks.values.size();
    EXPECT_EQ(Blocks::ValueManager::validate(std::span{blocks.values}.first(10)),
              "ValueManager::validate(): 10 bytes can't hold the 16-byte header");
    EXPECT_EQ(Blocks::ValueManager::validate(
                  corrupted(blocks.values, [](auto& b) { writeAt<std::uint32_t>(b, 0, 24); })),
              "ValueManager::validate(): a header area of 24 bytes, expected 20");
    EXPECT_EQ(Blocks::ValueManager::validate(corrupted(
                  blocks.values, [&](auto& b) { writeAt<std::uint32_t>(b, 4, values + 4); })),
              fmt::format("ValueManager::validate(): the header gives a block of {} bytes, got {}",
                          values + 4, values));
    EXPECT_EQ(
        Blocks::ValueManager::validate(
            corrupted(blocks.values, [](auto& b) { writeAt<std::uint16_t>(b, 8, 40); })),
        fmt::format("ValueManager::validate(): expected {} bytes for a capacity of 40, got {}",
                    20 + 4 * 40 + 2 * 40 + 4 * 40, values));
    /* Two slots parking the same Id, and a never-used slot that isn't zero */
    const SparseArray::Header valueHeader = header(blocks.values);
    const std::size_t reverse = 20 + 2 * std::size_t(valueHeader.capacity);
    EXPECT_EQ(Blocks::ValueManager::validate(corrupted(
                  blocks.values, [&](auto& b) { writeAt<std::uint16_t>(b, reverse, 1); })),
              "ValueManager::validate(): the Id maps disagree at index 0");
    EXPECT_EQ(
        Blocks::ValueManager::validate(corrupted(
            blocks.values,
            [&](auto& b) { writeAt<std::uint16_t>(b, reverse + 2 * valueHeader.usedCount, 3); })),
        fmt::format("ValueManager::validate(): slot {} was never used but its maps aren't "
                    "zero",
                    valueHeader.usedCount));
    EXPECT_EQ(
        Blocks::ValueManager::validate(
            corrupted(blocks.values, [&](auto& b) { writeAt<std::uint16_t>(b, 16, 99); })),
        fmt::format("ValueManager::validate(): 99 active components of {}", valueHeader.size));

    /* Groups and weights of the mesh manager: header at 16, groups at 20, mesh header at 24 */
    const SparseArray::Header meshHeader = header(blocks.meshes);
    const std::size_t n = meshHeader.capacity;
    const std::size_t codes = 32 + 4 * n + 2 * (n + n % 2);
    const std::size_t groupOffsets = codes + 2 * n;
    const std::size_t ranges = Utils::fourByteAlign(codes + 2 * (n + 3 * 2 + 1)) + 8 * n;
    EXPECT_EQ(MeshManager::validate(
                  corrupted(blocks.meshes, [&](auto& b) { writeAt<std::uint16_t>(b, codes, 6); })),
              fmt::format("MeshManager::validate(): component index 0 has group code 6 of 6"));
    EXPECT_EQ(MeshManager::validate(corrupted(
                  blocks.meshes, [&](auto& b) { writeAt<std::uint16_t>(b, groupOffsets, 1); })),
              fmt::format("MeshManager::validate(): the group offsets don't span the {} active "
                          "components",
                          Validation::read<std::uint16_t>(blocks.meshes.data() + 16)));
    EXPECT_EQ(MeshManager::validate(
                  corrupted(blocks.meshes, [&](auto& b) { writeAt<std::uint32_t>(b, 24, 1000); })),
              fmt::format("MeshManager::validate(): 1000 morph target weights in a pool of {}",
                          Validation::read<std::uint32_t>(blocks.meshes.data() + 28)));
    /* A slice overlapping its neighbour, and a freed slot keeping a slice */
    std::size_t withWeights = 0;
    while (
        Validation::read<MeshManager::WeightRange>(blocks.meshes.data() + ranges + 4 * withWeights)
            .size() == 0)
        ++withWeights;
    ASSERT_LT(withWeights, meshHeader.size);
    const std::size_t grown = ranges + 4 * withWeights + 2;
    EXPECT_NE(MeshManager::validate(corrupted(
                  blocks.meshes,
                  [&](auto& b) {
                      writeAt<std::uint16_t>(b, grown,
                                             Validation::read<std::uint16_t>(b.data() + grown) + 1);
                  })),
              std::nullopt);
    EXPECT_EQ(MeshManager::validate(corrupted(
                  blocks.meshes,
                  [&](auto& b) { writeAt<std::uint32_t>(b, ranges + 4 * (n - 1), 0x00010000); })),
              fmt::format("MeshManager::validate(): component index {} has morph target weights "
                          "0 to 1 of {}",
                          n - 1, Validation::read<std::uint32_t>(blocks.meshes.data() + 24)));

    /* String memory that can't hold a name per slot */
    const std::size_t stringMemory = Validation::read<std::uint64_t>(blocks.names.data() + 20);
    EXPECT_EQ(
        NameManager::validate(corrupted(
            blocks.names,
            [&](auto& b) { std::memset(b.data() + b.size() - stringMemory, 'x', stringMemory); })),
        fmt::format("NameManager::validate(): strings section of {} bytes holds fewer than {} "
                    "zero-terminated strings",
                    stringMemory, header(blocks.names).capacity));
    EXPECT_EQ(NameManager::validate(
                  corrupted(blocks.names, [](auto& b) { writeAt<std::uint64_t>(b, 20, ~0ull); })),
              fmt::format("NameManager::validate(): 18446744073709551615 bytes of string memory "
                          "don't fit a block of {}",
                          blocks.names.size()));
}

TEST(SceneBlockValidation, ManagersAreCheckedAgainstTheirSlot) {
    Debug quiet{nullptr};
    SceneGraph graph{4, 2, 4};
    Blocks::ValueManager values{4};
    NameManager names{4, 4};
    graph.setComponentManager(0, "value", &values);
    const Id object = graph.addObject(Id(0));
    const Id component = values.addComponent(object);
    values.addComponent(Id(0));
    EXPECT_EQ(graph.validateComponents(0, values), std::nullopt);
    EXPECT_EQ(graph.validateComponents(1, names), std::nullopt);
    EXPECT_EQ(graph.validateComponents(2, values), "SceneGraph::validateComponents(): slot 2 of 2");

    /* A record the manager doesn't have, or has for another object; a component without a
       record; any record in the names' slot */
    graph.addComponent(object, 0, Id(3));
    EXPECT_EQ(graph.validateComponents(0, values),
              "SceneGraph::validateComponents(): object index 1 records component 3 of manager "
              "slot 0, which the manager doesn't have for it");
    graph.removeComponent(object, 0, Id(3));
    graph.removeComponent(object, 0, component);
    EXPECT_EQ(graph.validateComponents(0, values),
              "SceneGraph::validateComponents(): the manager has 2 components, the objects "
              "record 1");
    graph.addComponent(Id(0), 0, component);
    EXPECT_NE(graph.validateComponents(0, values), std::nullopt);
    graph.addComponent(object, 1, Id(0));
    EXPECT_EQ(graph.validateComponents(1, names),
              "SceneGraph::validateComponents(): object index 1 records component 0 of manager "
              "slot 1, which the manager doesn't have for it");
}

/* The mutation half of the fuzz target, run on every build: a few thousand corrupted blocks,
   each either rejected or driven through random operations without a crash */
TEST(SceneBlockValidation, MutatedBlocksAreRejectedOrSurvive) {
    const SceneBlocks sample = Blocks::sampleSceneBlocks();
    std::mt19937 random{11};
    const std::uint16_t interesting[]{0, 1, 2, 3, 4, 7, 8, 0xff, 0x100, 0x7fff, 0xfffe, 0xffff};
    int accepted = 0, rejected = 0;
    for (int run = 0; run != 4000; ++run) {
        SceneBlocks blocks = sample;
        const auto targets = Blocks::blocksOf(blocks);
        std::vector<char>& block = *targets[random() % std::size(targets)];
        for (unsigned change = 0, count = 1 + random() % 3; change != count; ++change) {
            const std::size_t offset = (random() % (block.size() / 2)) * 2;
            if (random() % 2)
                writeAt(block, offset, interesting[random() % std::size(interesting)]);
            else
                block[offset + random() % 2] ^= char(1u << random() % 8);
        }
        if (Blocks::exerciseSceneBlocks(std::move(blocks), randomScript(random, 96)))
            ++accepted;
        else
            ++rejected;
    }
    /* Both outcomes are common, so both paths ran */
    EXPECT_GT(accepted, 400);
    EXPECT_GT(rejected, 400);
}

} // namespace
} // namespace ZarvikEngine::Data
