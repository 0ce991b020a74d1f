#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Text/Font.h"
#include "ZarvikEngine/Text/FontTestHelpers.h"
#include "ZarvikEngine/Text/Layout.h"
#include "ZarvikEngine/Tools/MeshFormat.h"
#include "ZarvikEngine/Utils/Align.h"

namespace ZarvikEngine::Data {
namespace {

using Test::assertionPattern;
using Test::randomKey;
using Test::readAt;
using Utils::fourByteAlign;

/* A scene graph with the manager registered in slot 0 */
struct Scene {
    Scene(unsigned short capacity, unsigned short groups, unsigned int textCapacity)
        : texts{capacity, groups, textCapacity} {
        graph.setComponentManager(0, "text", &texts);
    }

    SceneGraph graph{16, 1, 16};
    TextManager texts;
};

/* Where the alignment bytes start in a block of capacity n and g groups */
std::size_t alignmentsOffset(std::size_t n, std::size_t g) {
    return 32 + 4 * n + fourByteAlign(2 * n) + fourByteAlign(2 * (g + n) + 2) + 12 * n + 4 * n +
           2 * n;
}

TEST(TextManager, BlockLayoutNewComponentsAndRoundTrip) {
    TextManager manager{5, 3, 10};
    EXPECT_EQ(manager.name(), "text");
    /* A zero byte per slot on top of the text capacity asked for */
    EXPECT_EQ(manager.textHeader().textCapacity, 15);
    EXPECT_EQ(manager.componentDataSize(5), 19 * 5 + ((3 + 5) * 2 + 5) / 4 * 4 + 15);
    EXPECT_EQ(manager.data().size(), 32 + 4 * 5 + 12 + manager.componentDataSize(5));
    EXPECT_EQ(readAt<std::uint64_t>(manager.data(), 24), 15);

    /* Growing adds a byte per slot; the explicit form sets the storage exactly */
    manager.allocate(7);
    EXPECT_EQ(manager.textHeader().textCapacity, 17);
    manager.allocate(8, 4, 40);
    EXPECT_EQ(manager.textHeader().textCapacity, 40);
    EXPECT_EQ(manager.groupsCount(), 4);
    EXPECT_EQ(manager.componentDataSize(8), 19 * 8 + ((4 + 8) * 2 + 5) / 4 * 4 + 40);

    const Id a = manager.add(), b = manager.add();
    EXPECT_EQ(manager.lineSpacing(a), TextManager::DefaultLineSpacing);
    EXPECT_EQ(manager.text(a), "");
    manager.setText(b, "hello");
    manager.setVerticalAlignment(b, TextVerticalAlignment::Bottom);
    manager.setHorizontalAlignment(b, TextHorizontalAlignment::Right);
    manager.setJustified(b, true);
    /* Bits 0–2 horizontal, 3–5 vertical, 6 justified */
    EXPECT_EQ(readAt<std::uint8_t>(manager.data(), alignmentsOffset(8, 4) + manager.toIndex(b)),
              2 | 3 << 3 | 1 << 6);

    manager.dirty().clear();
    TextManager adopted{std::vector<char>(manager.data().begin(), manager.data().end())};
    /* The texts are found again in the adopted bytes */
    EXPECT_EQ(adopted.text(b), "hello");
    EXPECT_EQ(adopted.text(a), "");
    EXPECT_EQ(adopted.verticalAlignment(b), TextVerticalAlignment::Bottom);
    /* Everything must be built again */
    EXPECT_TRUE(adopted.dirty()[0] && adopted.dirty()[7]);
    EXPECT_EQ(TextManager::validate(adopted.data()), std::nullopt);

    ZE_EXPECT_ABORT(manager.allocate(8, 4, 39),
                    "TextManager::allocate(): Cannot shrink the text storage from 40 to 39 bytes");
    ZE_EXPECT_ABORT(TextManager(65536, 1, 0),
                    "TextManager::TextManager(): capacity 65536 is above 65535");
    ZE_EXPECT_ABORT(TextManager(1, 0, 0), "GroupedComponentManager::GroupedComponentManager(): "
                                          "At least one component group is required");
    ZE_EXPECT_ABORT(manager.setText(a, std::string_view{"a\0b", 3}),
                    "TextManager::setText(): A text can't contain a zero byte");
}

TEST(TextManager, SettersMarkOnlyChanges) {
    TextManager manager{2, 1, 0};
    const Id id = manager.add();
    const unsigned short index = manager.toIndex(id);
    const auto dirtyAfter = [&](auto&& change) {
        manager.dirty().clear();
        change();
        return manager.dirty()[index];
    };

    EXPECT_FALSE(dirtyAfter([&] { manager.setLineSpacing(id, 1.2f); }));
    EXPECT_TRUE(dirtyAfter([&] { manager.setLineSpacing(id, 1.5f); }));
    EXPECT_TRUE(dirtyAfter([&] { manager.setWrapMode(id, TextWrapMode::Soft); }));
    EXPECT_FALSE(dirtyAfter([&] { manager.setWrapMode(id, TextWrapMode::Soft); }));
    EXPECT_TRUE(dirtyAfter([&] { manager.setText(id, "text"); }));
    EXPECT_FALSE(dirtyAfter([&] { manager.setText(id, "text"); }));
    /* The material is no part of the mesh */
    EXPECT_FALSE(dirtyAfter([&] { manager.material(id) = 4; }));

    /* Each alignment setter keeps the other bits */
    EXPECT_TRUE(dirtyAfter([&] { manager.setJustified(id, true); }));
    EXPECT_TRUE(
        dirtyAfter([&] { manager.setHorizontalAlignment(id, TextHorizontalAlignment::Right); }));
    EXPECT_TRUE(
        dirtyAfter([&] { manager.setVerticalAlignment(id, TextVerticalAlignment::Middle); }));
    EXPECT_FALSE(
        dirtyAfter([&] { manager.setHorizontalAlignment(id, TextHorizontalAlignment::Right); }));
    EXPECT_TRUE(manager.justified(id));
    EXPECT_EQ(manager.horizontalAlignment(id), TextHorizontalAlignment::Right);
    EXPECT_EQ(manager.verticalAlignment(id), TextVerticalAlignment::Middle);
    EXPECT_TRUE(dirtyAfter([&] { manager.setJustified(id, false); }));
    EXPECT_EQ(manager.horizontalAlignment(id), TextHorizontalAlignment::Right);
    EXPECT_EQ(manager.verticalAlignment(id), TextVerticalAlignment::Middle);

    /* Activation marks the component at its new place */
    manager.dirty().clear();
    EXPECT_TRUE(manager.dirty()[manager.activate(id)]);

    std::ostringstream out;
    {
        Debug debug{&out};
        debug << TextWrapMode::Clip << TextEffect(7) << TextHorizontalAlignment::Center
              << TextVerticalAlignment::Top;
    }
    EXPECT_EQ(out.str(), "TextWrapMode::Clip TextEffect(7) TextHorizontalAlignment::Center "
                         "TextVerticalAlignment::Top\n");
}

TEST(TextManager, TextStorageGrowsAndTextsStayWithTheirIds) {
    Warning silence{nullptr};
    TextManager manager{3, 2, 4};
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    manager.setText(a, "abc");
    manager.setText(c, "x");
    EXPECT_EQ(manager.textHeader().textCapacity, 7);

    /* Too long for what is left: the storage becomes the text plus what all texts use */
    const std::string longer(20, 'y');
    manager.setText(b, longer);
    EXPECT_EQ(manager.textHeader().textCapacity, 20 + (4 + 1 + 2));
    EXPECT_EQ(manager.text(a), "abc");
    EXPECT_EQ(manager.text(b), longer);
    EXPECT_EQ(manager.text(c), "x");
    /* A text taken from the storage itself */
    manager.setText(a, manager.text(b));
    EXPECT_EQ(manager.text(a), longer);

    /* Activation into groups reorders the components but not the texts */
    manager.setGroup(a, 1);
    for (const Id id : {a, b, c})
        manager.activate(id);
    ASSERT_NE(manager.toIndex(a), 0);
    EXPECT_EQ(manager.text(a), longer);
    EXPECT_EQ(manager.text(manager.toIndex(c)), "x");

    /* Growth on the fly keeps every text and gives the new slots empty ones */
    const Id d = manager.add();
    EXPECT_EQ(manager.capacity(), 35);
    EXPECT_EQ(manager.text(d), "");
    EXPECT_EQ(manager.text(a), longer);
    EXPECT_EQ(manager.lineSpacing(d), TextManager::DefaultLineSpacing);

    /* A deleted component's slot and Id start over */
    manager.setLineSpacing(c, 3.0f);
    manager.setEffect(c, TextEffect::Outline);
    manager.remove(c);
    const Id reused = manager.add();
    ASSERT_EQ(reused, c);
    EXPECT_EQ(manager.text(reused), "");
    EXPECT_EQ(manager.lineSpacing(reused), TextManager::DefaultLineSpacing);
    EXPECT_EQ(manager.effect(reused), TextEffect::None);
    EXPECT_EQ(TextManager::validate(manager.data()), std::nullopt);

    /* Slots need their zero bytes */
    TextManager full{1, 1, 0};
    ZE_EXPECT_ABORT(full.allocate(2, 1, 1), "TextManager::allocate(): 1 bytes of text storage "
                                            "can't hold the 2 bytes of 2 texts");
}

DualQuaternion transform(const Vector3& translation, float angle) {
    return dualQuaternionFromRotationTranslation(rotation(Rad{angle}, {0.0f, 0.0f, 1.0f}),
                                                 translation);
}

TEST(TextManager, UpdateCopiesWorldTransformsAndMaterials) {
    Scene scene{4, 2, 0};
    SceneGraph& graph = scene.graph;
    TextManager& texts = scene.texts;
    const Id parent = graph.addObject(Id(0));
    const Id child = graph.addObject(parent);
    graph.localTransformation(parent) = transform({1.0f, 0.0f, 0.0f}, 0.5f);
    graph.localScaling(parent) = {2.0f, 3.0f, 4.0f};
    graph.localTransformation(child) = transform({0.0f, 5.0f, 0.0f}, 0.0f);
    graph.setDirty(parent);
    graph.computeAbsoluteTransformations();

    const Id first = texts.addComponent(child), second = texts.addComponent(parent),
             inactive = texts.addComponent(parent);
    texts.material(first) = 12;
    texts.material(second) = 5;
    texts.material(inactive) = 6;
    texts.setGroup(first, 1);
    texts.activate(first);
    texts.activate(second);
    texts.update(0.016);

    ASSERT_EQ(texts.transformations(0).size(), 1);
    ASSERT_EQ(texts.transformations(1).size(), 1);
    EXPECT_TRUE(fuzzyEqual(texts.transformations(1)[0], graph.absoluteTransformation(child)));
    EXPECT_EQ(texts.scalings(1)[0].scaling, graph.absoluteScaling(child));
    EXPECT_EQ(texts.scalings(1)[0].material, 12.0f);
    EXPECT_EQ(texts.scalings(0)[0].material, 5.0f);
    EXPECT_EQ(texts.materials(1)[0], 12);
    /* Inactive components aren't updated */
    EXPECT_EQ(texts.scalings(0).data()[2].material, 0.0f);
    EXPECT_TRUE(fuzzyEqual(texts.absoluteTransformationAsMatrix(second),
                           graph.absoluteTransformationAsMatrix(parent)));

    TextManager unregistered{1, 1, 0};
    unregistered.activate(unregistered.add());
    ZE_EXPECT_ABORT(unregistered.update(0.016),
                    "TextManager::update(): Manager is not registered in a scene graph");
}

TEST(TextManager, CopyAndAppendCarryTexts) {
    Scene scene{2, 2, 0};
    TextManager& texts = scene.texts;
    const Id object = scene.graph.addObject(Id(0));
    const Id a = texts.addComponent(object), b = texts.addComponent(object);
    texts.setText(a, "a text that needs more storage");
    texts.setWrapMode(a, TextWrapMode::Hard);
    texts.setLineSpacing(a, 2.0f);
    texts.setGroup(a, 1);
    texts.activate(b);
    texts.activate(a);
    texts.dirty().clear();
    texts.dirty().set(texts.toIndex(a));

    /* Everything goes over, the text included; the active destination moves into group 1 */
    texts.copy(texts.toIndex(a), texts.toIndex(b));
    EXPECT_EQ(texts.text(b), "a text that needs more storage");
    EXPECT_EQ(texts.text(a), "a text that needs more storage");
    EXPECT_EQ(texts.group(b), 1);
    EXPECT_EQ(texts.wrapMode(b), TextWrapMode::Hard);
    EXPECT_EQ(texts.lineSpacing(b), 2.0f);
    EXPECT_TRUE(texts.dirty()[texts.toIndex(b)]);

    /* Another scene's components come with their texts, kept by their new Ids */
    Scene other{2, 2, 0};
    const Id otherObject = other.graph.addObject(Id(0));
    other.texts.addComponent(otherObject);
    const Id appendedSource = other.texts.addComponent(otherObject);
    other.texts.setText(appendedSource, "appended");
    other.texts.setEffect(appendedSource, TextEffect::Outline);
    other.texts.setGroup(appendedSource, 1);
    scene.graph.append(other.graph, {});
    ASSERT_EQ(texts.size(), 4);
    const Id appended = texts.toId(3);
    EXPECT_EQ(texts.text(appended), "appended");
    EXPECT_EQ(texts.effect(appended), TextEffect::Outline);
    EXPECT_EQ(texts.group(appended), 1);
    EXPECT_EQ(texts.text(texts.toId(2)), "");
    EXPECT_EQ(texts.text(a), "a text that needs more storage");
    EXPECT_EQ(TextManager::validate(texts.data()), std::nullopt);
}

TEST(TextManager, ValidateNamesTheProblems) {
    TextManager manager{3, 2, 4};
    const Id id = manager.add();
    manager.setText(id, "abc");
    const std::vector<char> block(manager.data().begin(), manager.data().end());
    ASSERT_EQ(TextManager::validate(block), std::nullopt);
    const auto corrupted = [&](std::size_t offset, std::uint8_t value) {
        std::vector<char> copy = block;
        copy[offset] = char(value);
        return TextManager::validate(copy);
    };

    /* Values that meshes can't be built with, also in free slots */
    const std::size_t alignments = alignmentsOffset(3, 2);
    EXPECT_EQ(corrupted(alignments, 3),
              "TextManager::validate(): component index 0 has horizontal alignment 3");
    EXPECT_EQ(corrupted(alignments + 2, 4 << 3),
              "TextManager::validate(): component index 2 has vertical alignment 4");
    EXPECT_EQ(corrupted(alignments - 2 * 3 + 1, 2),
              "TextManager::validate(): component index 1 has effect 2");
    /* Bit 7 of the alignment and unknown wrap modes are harmless */
    EXPECT_EQ(corrupted(alignments, 0x80), std::nullopt);
    EXPECT_EQ(corrupted(alignments - 3, 9), std::nullopt);

    /* A text storage that can't hold a text per slot */
    std::vector<char> noZeros = block;
    std::fill(noZeros.end() - 5, noZeros.end(), 'x');
    EXPECT_EQ(TextManager::validate(noZeros),
              "TextManager::validate(): strings section of 7 bytes holds fewer than 3 "
              "zero-terminated strings");
    std::vector<char> huge = block;
    const std::uint64_t capacity = ~0ull;
    std::memcpy(huge.data() + 24, &capacity, 8);
    EXPECT_EQ(TextManager::validate(huge),
              fmt::format("TextManager::validate(): 18446744073709551615 bytes of text storage "
                          "don't fit a block of {}",
                          block.size()));
}

TEST(TextManager, LineBufferSizes) {
    const std::string_view tenBytes = "ab cd\nef g";
    ASSERT_EQ(tenBytes.size(), 10);
    EXPECT_EQ(TextManager::lineBufferSize(tenBytes, TextWrapMode::Soft), 11);
    EXPECT_EQ(TextManager::lineBufferSize(tenBytes, TextWrapMode::Hard), 9);
    EXPECT_EQ(TextManager::lineBufferSize(tenBytes, TextWrapMode::None), 2);
    EXPECT_EQ(TextManager::lineBufferSize(tenBytes, TextWrapMode::Clip), 2);
    EXPECT_EQ(TextManager::lineBufferSize("abcdefghij", TextWrapMode::None), 1);
    EXPECT_EQ(TextManager::lineBufferSize("", TextWrapMode::Soft), 1);
}

const Text::FontHeader* dejaVuSans() {
    return reinterpret_cast<const Text::FontHeader*>(
        ::ZarvikEngine::Test::compiledDejaVuSans().data());
}

/* Bounds of a text laid out with the component's settings after a change to them */
template<class Change>
Range2D boundsWith(std::string_view text, Change&& change) {
    TextManager manager{1, 1, 0};
    const Id id = manager.add();
    change(manager, id);
    return manager.boundingBox(manager.toIndex(id), dejaVuSans(), text);
}

TEST(TextManager, MeshesInTheTextVertexLayout) {
    TextManager manager{2, 1, 0};
    const Id id = manager.add();
    manager.setText(id, "Hi Hi");
    const Trade::MeshData mesh = manager.meshData(manager.toIndex(id), dejaVuSans());
    EXPECT_EQ(mesh.primitive(), MeshPrimitive::Triangles);
    EXPECT_EQ(mesh.indexType(), MeshIndexType::UnsignedShort);
    /* A quad of two triangles per glyph with an outline, none for the space */
    EXPECT_EQ(mesh.vertexCount(), 16);
    EXPECT_EQ(mesh.indexCount(), 24);
    EXPECT_EQ(getMeshFlags(mesh), MeshDataFlags{MeshDataFlag::Slug});
    EXPECT_EQ(mesh.vertexData().size(), 16 * sizeof(Text::TextVertex));
    for (const std::uint16_t index : mesh.indices<std::uint16_t>())
        ASSERT_LT(index, 16);

    /* The em is EmHeight scene units, y up from the baseline */
    const Range2D bounds = manager.boundingBox(manager.toIndex(id), dejaVuSans(), "Hi Hi");
    const float height = dejaVuSans()->height() * TextManager::EmHeight;
    EXPECT_NEAR(bounds.max().y, height, 0.1f * height);
    EXPECT_NEAR(bounds.min().y, 0.0f, 0.1f * height);
    const auto* vertices = reinterpret_cast<const Text::TextVertex*>(mesh.vertexData().data());
    for (std::size_t i = 0; i != mesh.vertexCount(); ++i) {
        EXPECT_GE(vertices[i].position.x, bounds.min().x - 1e-5f);
        EXPECT_LE(vertices[i].position.x, bounds.max().x + 1e-5f);
    }
    /* The text asked about, not the stored one */
    EXPECT_GT(manager.boundingBox(manager.toIndex(id), dejaVuSans(), "Hi Hi Hi").max().x,
              bounds.max().x);

    /* The outline draws each glyph twice */
    manager.setEffect(id, TextEffect::Outline);
    EXPECT_EQ(manager.meshData(manager.toIndex(id), dejaVuSans()).vertexCount(), 32);
    /* Nothing to draw */
    manager.setText(id, " ");
    const Trade::MeshData empty = manager.meshData(manager.toIndex(id), dejaVuSans());
    EXPECT_EQ(empty.vertexCount(), 0);
    EXPECT_EQ(empty.indexCount(), 0);
}

TEST(TextManager, AlignmentAndWrappingMoveTheLines) {
    const float em = TextManager::EmHeight;
    const float height = dejaVuSans()->height();
    const std::string_view lines = "AB\nAB\nAB";
    const auto vertical = [&](TextVerticalAlignment alignment) {
        return boundsWith(lines, [&](TextManager& m, Id id) {
            m.setLineSpacing(id, 1.5f);
            m.setVerticalAlignment(id, alignment);
        });
    };
    const Range2D baseline = vertical(TextVerticalAlignment::Baseline);
    /* Three lines down from the first baseline, which the capitals top */
    EXPECT_NEAR(baseline.min().y, -2.0f * 1.5f * em, 0.01f * em);
    EXPECT_NEAR(baseline.max().y, height * em, 0.02f * em);
    /* Bottom lifts the block by two line steps, Top lowers it by the font height, Middle
       centres it */
    EXPECT_NEAR(vertical(TextVerticalAlignment::Bottom).min().y - baseline.min().y,
                2.0f * 1.5f * em, 1e-4f);
    EXPECT_NEAR(vertical(TextVerticalAlignment::Top).min().y - baseline.min().y, -height * em,
                1e-4f);
    EXPECT_NEAR(vertical(TextVerticalAlignment::Middle).min().y - baseline.min().y,
                (2.0f * 1.5f - height) / 2.0f * em, 1e-4f);

    /* Right alignment ends the lines at the origin */
    const Range2D right = boundsWith("Ab", [](TextManager& m, Id id) {
        m.setHorizontalAlignment(id, TextHorizontalAlignment::Right);
    });
    EXPECT_LT(right.max().x, 1e-3f);
    EXPECT_LT(right.min().x, -0.05f);

    /* Soft wrapping at a width of about one word gives three lines */
    const Range2D single = boundsWith("word word word", [](TextManager&, Id) {});
    const Range2D wrapped = boundsWith("word word word", [&](TextManager& m, Id id) {
        m.setWrapMode(id, TextWrapMode::Soft);
        m.setWrapWidth(id, single.max().x / 2.5f);
    });
    EXPECT_NEAR(wrapped.min().y - single.min().y, -2.0f * TextManager::DefaultLineSpacing * em,
                1e-4f);
    EXPECT_LT(wrapped.max().x, single.max().x / 2.5f);

    /* Clipping keeps glyphs within the wrap width either side, half of it when centred */
    const auto clipped = [](TextHorizontalAlignment alignment) {
        return boundsWith("word word word word", [&](TextManager& m, Id id) {
            m.setWrapMode(id, TextWrapMode::Clip);
            m.setWrapWidth(id, 0.2f);
            m.setHorizontalAlignment(id, alignment);
        });
    };
    EXPECT_LE(clipped(TextHorizontalAlignment::Left).max().x, 0.2f + 1e-5f);
    EXPECT_GT(clipped(TextHorizontalAlignment::Left).max().x, 0.15f);
    EXPECT_LE(clipped(TextHorizontalAlignment::Center).max().x, 0.1f + 1e-5f);
    EXPECT_GE(clipped(TextHorizontalAlignment::Center).min().x, -0.1f - 1e-5f);
}

TEST(TextManager, MeshesStopWhereSixteenBitIndicesEnd) {
    TextManager manager{1, 1, 0};
    const Id id = manager.add();
    manager.setText(id, std::string(16385, 'H'));
    std::ostringstream warnings;
    std::optional<Trade::MeshData> mesh;
    {
        Warning redirect{&warnings};
        mesh = manager.meshData(manager.toIndex(id), dejaVuSans());
    }
    EXPECT_EQ(warnings.str(), "TextManager::meshData(): A text of 16385 glyph quads is cut short "
                              "to the 16384 that 16-bit indices reach\n");
    EXPECT_EQ(mesh->vertexCount(), 65536);
    EXPECT_EQ(mesh->indexCount(), 6 * 16384);
}

TEST(TextManager, MeshBuildingAbortsOnBadSettings) {
    const std::string file = "ZarvikEngine/Data/TextManager.cpp";
    TextManager manager{1, 1, 0};
    const Id id = manager.add();
    const unsigned short index = manager.toIndex(id);
    EXPECT_DEATH(manager.meshData(index, nullptr), assertionPattern("header", file));
    manager.setEffect(id, TextEffect(2));
    EXPECT_DEATH(
        manager.meshData(index, dejaVuSans()),
        assertionPattern("size_t(effect(index)) < Containers::arraySize(ToSlugEffect)", file));
    manager.setHorizontalAlignment(id, TextHorizontalAlignment(3));
    EXPECT_DEATH(manager.boundingBox(index, dejaVuSans(), "a"),
                 assertionPattern("size_t(horizontalAlignment(index)) < "
                                  "Containers::arraySize(ToSlugAlignment)",
                                  file));
    manager.setHorizontalAlignment(id, TextHorizontalAlignment::Left);
    manager.setEffect(id, TextEffect::None);
    manager.setVerticalAlignment(id, TextVerticalAlignment(4));
    EXPECT_DEATH(manager.meshData(index, dejaVuSans()),
                 "(^|\n)Reached unreachable code at ZarvikEngine/Data/TextManager\\.cpp:[0-9]+\n");
}

/* Texts and groups by Id through random operations, the block validating throughout */
TEST(TextManager, RandomizedModel) {
    Warning silence{nullptr};
    Scene scene{2, 3, 0};
    TextManager& texts = scene.texts;
    const Id object = scene.graph.addObject(Id(0));
    struct Expected {
        std::string text;
        unsigned short group;
        float lineSpacing;
    };
    std::map<Id, Expected> model;
    std::mt19937 random{23};
    const auto pick = [&] { return randomKey(model, random); };

    for (int step = 0; step != 2000; ++step) {
        SCOPED_TRACE(step);
        const unsigned operation = model.empty() ? 0 : random() % 8;
        if (operation == 0) {
            const Id id = texts.addComponent(object);
            model[id] = {"", 0, TextManager::DefaultLineSpacing};
            continue;
        }
        const Id id = pick();
        Expected& expected = model.at(id);
        switch (operation) {
        case 1:
            texts.activate(id);
            break;
        case 2:
            texts.deactivate(id);
            break;
        case 3:
            expected.text = std::string(random() % 40, char('a' + random() % 26));
            texts.setText(id, expected.text);
            break;
        case 4:
            expected.group = random() % 3;
            texts.setGroup(id, expected.group);
            break;
        case 5:
            expected.lineSpacing = float(random() % 8);
            texts.setLineSpacing(id, expected.lineSpacing);
            break;
        case 6: {
            const Id source = pick();
            texts.copy(texts.toIndex(source), texts.toIndex(id));
            expected = model.at(source);
            break;
        }
        case 7:
            scene.graph.deleteComponent(object, 0, id);
            model.erase(id);
            break;
        }

        ASSERT_EQ(texts.size(), model.size());
        for (const auto& [modelId, component] : model) {
            ASSERT_EQ(texts.text(modelId), component.text);
            ASSERT_EQ(texts.group(modelId), component.group);
            ASSERT_EQ(texts.lineSpacing(modelId), component.lineSpacing);
        }
        ASSERT_EQ(TextManager::validate(texts.data()), std::nullopt);
        ASSERT_EQ(scene.graph.validateComponents(0, texts), std::nullopt);
    }
}

} // namespace
} // namespace ZarvikEngine::Data
