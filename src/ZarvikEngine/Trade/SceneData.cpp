#include "ZarvikEngine/Trade/SceneData.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine::Trade {

namespace {

/* Indexed by value - 1 */
constexpr std::string_view FieldNames[]{
    "Parent", "Transformation", "Translation", "Rotation", "Scaling",
    "Mesh",   "MeshMaterial",   "Light",       "Camera",   "Skin"};

template<class Entry>
void checkObjects(std::span<const Entry> entries, std::uint64_t mappingBound, const char* field) {
    for (const Entry& entry : entries)
        ZE_ASSERT(entry.object < mappingBound,
                  "Trade::SceneData:" << field << "object" << entry.object << "out of range for"
                                      << mappingBound << "objects");
}

} // namespace

Debug& operator<<(Debug& debug, SceneField value) {
    const std::size_t index = std::size_t(value) - 1;
    return printEnum(debug, "Trade::SceneField",
                     index < std::size(FieldNames) ? FieldNames[index] : "", std::size_t(value));
}

SceneData::SceneData(std::uint64_t mappingBound, bool is3D, SceneFields&& fields)
    : _mappingBound{mappingBound}, _is3D{is3D}, _fields{std::move(fields)} {
    checkObjects(parents(), mappingBound, "parent");
    checkObjects(trs(), mappingBound, "TRS");
    checkObjects(matrices(), mappingBound, "transformation");
    checkObjects(meshesMaterials(), mappingBound, "mesh");
    checkObjects(skins(), mappingBound, "skin");
    checkObjects(cameras(), mappingBound, "camera");
    checkObjects(lights(), mappingBound, "light");

    /* A walk over the hierarchy visits each object at most once only if each has one parent
       entry, and only objects with an entry can be walked to */
    std::vector<bool> inHierarchy(static_cast<std::size_t>(mappingBound));
    for (const SceneParent& entry : parents()) {
        ZE_ASSERT(!inHierarchy[entry.object],
                  "Trade::SceneData: object" << entry.object << "has more than one parent");
        inHierarchy[entry.object] = true;
    }
    for (const SceneParent& entry : parents())
        ZE_ASSERT(entry.parent == -1 ||
                      (entry.parent >= 0 && std::uint64_t(entry.parent) < mappingBound &&
                       inHierarchy[std::size_t(entry.parent)]),
                  "Trade::SceneData: parent" << entry.parent << "of object" << entry.object
                                             << "is not in the hierarchy");

    std::vector<bool> transformed(static_cast<std::size_t>(mappingBound));
    auto markTransformed = [&](std::uint64_t object) {
        ZE_ASSERT(!transformed[object],
                  "Trade::SceneData: object" << object << "has more than one transformation");
        transformed[object] = true;
    };
    for (const SceneTrs& entry : trs())
        markTransformed(entry.object);
    for (const SceneMatrix& entry : matrices())
        markTransformed(entry.object);
}

bool SceneData::hasField(SceneField field) const {
    switch (field) {
    case SceneField::Parent:
        return !_fields.parents.empty();
    case SceneField::Transformation:
        return !_fields.matrices.empty();
    case SceneField::Translation:
    case SceneField::Rotation:
    case SceneField::Scaling:
        return !_fields.trs.empty();
    case SceneField::Mesh:
    case SceneField::MeshMaterial:
        return !_fields.meshesMaterials.empty();
    case SceneField::Light:
        return !_fields.lights.empty();
    case SceneField::Camera:
        return !_fields.cameras.empty();
    case SceneField::Skin:
        return !_fields.skins.empty();
    }
    return false;
}

} // namespace ZarvikEngine::Trade
