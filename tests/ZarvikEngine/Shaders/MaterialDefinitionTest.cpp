#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Shaders/MaterialDefinition.h"

namespace ZarvikEngine::Shaders {
namespace {

using DataType = MaterialDefinition::DataType;
using MetaType = MaterialDefinition::MetaType;

MaterialDefinition definition(std::vector<std::string_view> names,
                              std::vector<MaterialDefinition::MaterialParamType> types) {
    return {"lit", fromStrings(names), std::move(types)};
}

TEST(MaterialDefinition, PacksParametersInDeclarationOrder) {
    /* Half floats and samplers take two units per component */
    const MaterialDefinition lit =
        definition({"color", "uv", "albedo", "color"}, {{DataType::Float, 4, MetaType(1)},
                                                        {DataType::HalfFloat, 2, MetaType(0)},
                                                        {DataType::Sampler, 1, MetaType(7)},
                                                        {DataType::UnsignedInt, 1, MetaType(0)}});
    EXPECT_EQ(lit.name(), "lit");
    EXPECT_EQ(lit.paramName(2), "albedo");
    EXPECT_EQ(lit.paramMetaType(2), MetaType(7));
    std::vector<std::size_t> sizes, offsets;
    for (std::size_t i = 0; i != lit.paramCount(); ++i) {
        sizes.push_back(lit.paramSize(i));
        offsets.push_back(lit.paramOffset(i));
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{4, 4, 2, 1}));
    EXPECT_EQ(offsets, (std::vector<std::size_t>{0, 4, 8, 10}));
    EXPECT_EQ(lit.size(), 11u);

    /* Duplicate names resolve to the first */
    EXPECT_EQ(lit.paramIndex("color"), 0u);
    EXPECT_EQ(lit.paramIndex("albedo"), 2u);
    EXPECT_EQ(lit.paramIndex("colo"), MaterialDefinition::NotFound);

    EXPECT_EQ(lit.propertiesCount(DataType::Float), 1u);
    EXPECT_EQ(lit.propertiesCount(DataType::Int), 0u);
    EXPECT_EQ(lit.findTextureProperties(), (std::vector<std::size_t>{2}));
    EXPECT_EQ(lit.findProperties(DataType::Font), (std::vector<std::size_t>{}));
    const MaterialDefinition textured = definition(
        {"a", "b", "c"},
        {{DataType::Sampler, 1, {}}, {DataType::Int, 3, {}}, {DataType::Sampler, 2, {}}});
    EXPECT_EQ(textured.findTextureProperties(), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(textured.size(), 2u + 3u + 4u);

    const MaterialDefinition empty = definition({}, {});
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.paramIndex(""), MaterialDefinition::NotFound);
}

TEST(MaterialDefinition, PrintsDataTypes) {
    std::ostringstream out;
    Debug{&out} << DataType::UnsignedInt << DataType::HalfFloat << DataType::Font << DataType::Count
                << DataType(0x7f);
    EXPECT_EQ(out.str(), "MaterialDefinition::DataType::UnsignedInt "
                         "MaterialDefinition::DataType::HalfFloat "
                         "MaterialDefinition::DataType::Font "
                         "MaterialDefinition::DataType::Count "
                         "MaterialDefinition::DataType(0x7f)\n");
}

TEST(MaterialDefinitionDeathTest, RejectsBadIndicesAndMismatchedTypes) {
    const MaterialDefinition lit = definition({"a"}, {{DataType::Float, 1, {}}});
    ZE_EXPECT_ABORT(lit.paramType(1),
                    "MaterialDefinition::paramType(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(lit.paramSize(1),
                    "MaterialDefinition::paramSize(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(lit.paramOffset(2),
                    "MaterialDefinition::paramOffset(): invalid index 2 for size 1");
    ZE_EXPECT_ABORT(definition({"a", "b"}, {{DataType::Float, 1, {}}}),
                    "MaterialDefinition: got 2 parameter names but 1 types");
}

} // namespace
} // namespace ZarvikEngine::Shaders
