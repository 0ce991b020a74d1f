#include "ZarvikEngine/Tools/ImportedSceneCache.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

#include "ZarvikEngine/Tools/MeshAttributeConversion.h"
#include "ZarvikEngine/Tools/MeshTools.h"

namespace ZarvikEngine {

namespace {

/* Loads count items; a failed load leaves an empty entry */
template<class T, class Load>
void cacheItems(std::uint32_t count, std::vector<std::optional<T>>& items, Load load) {
    items.clear();
    items.reserve(count);
    for (std::uint32_t i = 0; i != count; ++i)
        items.push_back(load(i));
}

/* The names of count items, a default name with the index for unnamed ones */
template<class Name>
void cacheNames(std::uint32_t count, std::vector<std::string>& names, std::string_view defaultName,
                Name name) {
    names.assign(count, {});
    for (std::uint32_t i = 0; i != count; ++i) {
        names[i] = name(i);
        if (names[i].empty())
            names[i] = fmt::format(fmt::runtime(defaultName), i);
    }
}

} // namespace

void ImportedSceneCache::cacheResources(Trade::AbstractImporter& importer) {
    cacheItems(importer.image2DCount(), images,
               [&](std::uint32_t i) { return importer.image2D(i); });
    cacheNames(importer.image2DCount(), imageNames, "image_{}",
               [&](std::uint32_t i) { return importer.image2DName(i); });
    cacheItems(importer.textureCount(), textures,
               [&](std::uint32_t i) { return importer.texture(i); });
    cacheNames(importer.textureCount(), textureNames, "texture_{}",
               [&](std::uint32_t i) { return importer.textureName(i); });
    cacheItems(importer.materialCount(), materials,
               [&](std::uint32_t i) { return importer.material(i); });
    cacheNames(importer.materialCount(), materialNames, "material_{}",
               [&](std::uint32_t i) { return importer.materialName(i); });
    cacheItems(importer.meshCount(), meshes, [&](std::uint32_t i) { return importer.mesh(i); });
    cacheNames(importer.meshCount(), meshNames, "mesh_{}",
               [&](std::uint32_t i) { return importer.meshName(i); });
    cacheItems(importer.skin3DCount(), skins, [&](std::uint32_t i) { return importer.skin3D(i); });
    cacheNames(importer.skin3DCount(), skinNames, "skin_{}",
               [&](std::uint32_t i) { return importer.skin3DName(i); });
    cacheItems(importer.cameraCount(), cameras,
               [&](std::uint32_t i) { return importer.camera(i); });
    cacheItems(importer.lightCount(), lights, [&](std::uint32_t i) { return importer.light(i); });
    cacheItems(importer.animationCount(), animations,
               [&](std::uint32_t i) { return importer.animation(i); });
    cacheNames(importer.animationCount(), animationNames, "animation_{}",
               [&](std::uint32_t i) { return importer.animationName(i); });
}

bool ImportedSceneCache::cacheScene(Trade::AbstractImporter& importer) {
    const std::uint64_t objectCount = importer.objectCount();
    objectNames.assign(std::size_t(objectCount), {});
    for (std::uint64_t i = 0; i != objectCount; ++i)
        objectNames[i] = importer.objectName(i);

    std::optional<std::uint32_t> sceneId = importer.defaultScene();
    if (!sceneId) {
        if (importer.sceneCount() == 0) {
            Error{} << "No scene found in file";
            return false;
        }
        sceneId = 0;
    }
    std::optional<Trade::SceneData> scene = importer.scene(*sceneId);
    if (!scene) {
        Error{} << "Cannot load scene";
        return false;
    }
    if (!scene->is3D()) {
        Error{} << "Scene is not 3D";
        return false;
    }
    if (scene->mappingBound() > std::uint64_t{~std::uint32_t{}}) {
        Error{} << "Cannot load scene";
        return false;
    }
    if (objectNames.size() < scene->mappingBound())
        objectNames.resize(std::size_t(scene->mappingBound()));

    /* Children of each object in the scene's order, those of the root first, as offsets into
       one array */
    const auto parents = scene->parents();
    const std::size_t bound = std::size_t(scene->mappingBound());
    std::vector<std::uint32_t> childOffsets(bound + 2);
    for (const Trade::SceneParent& entry : parents)
        ++childOffsets[std::size_t(entry.parent + 1) + 1];
    for (std::size_t i = 1; i != childOffsets.size(); ++i)
        childOffsets[i] += childOffsets[i - 1];
    std::vector<std::uint32_t> children(parents.size());
    {
        std::vector<std::uint32_t> next{childOffsets.begin(), childOffsets.end() - 1};
        for (const Trade::SceneParent& entry : parents)
            children[next[std::size_t(entry.parent + 1)]++] = std::uint32_t(entry.object);
    }
    auto childrenOf = [&](std::int64_t parent) {
        const std::size_t slot = std::size_t(parent + 1);
        return std::span<const std::uint32_t>{children.data() + childOffsets[slot],
                                              children.data() + childOffsets[slot + 1]};
    };

    objectParents.assign(objectNames.size(), -1);
    for (const Trade::SceneParent& entry : parents)
        objectParents[std::size_t(entry.object)] = entry.parent;
    rootChildren.assign(childrenOf(-1).begin(), childrenOf(-1).end());
    objectOrder.clear();
    objectOrder.reserve(parents.size());
    std::vector<std::uint32_t> stack{rootChildren.rbegin(), rootChildren.rend()};
    while (!stack.empty()) {
        const std::uint32_t object = stack.back();
        stack.pop_back();
        if (objectNames[object].empty())
            objectNames[object] = fmt::format("object_{}", objectOrder.size());
        objectOrder.push_back(object);
        const auto objectChildren = childrenOf(object);
        stack.insert(stack.end(), objectChildren.rbegin(), objectChildren.rend());
    }

    transforms.clear();
    transforms.reserve(scene->trs().size() + scene->matrices().size());
    for (const Trade::SceneTrs& entry : scene->trs())
        transforms.push_back(
            {std::uint32_t(entry.object), entry.translation, entry.rotation, entry.scaling});
    for (const Trade::SceneMatrix& entry : scene->matrices()) {
        const TrsTransformation trs = decompose(entry.transformation);
        transforms.push_back(
            {std::uint32_t(entry.object), trs.translation, trs.rotation, trs.scaling});
    }

    meshMaterials.clear();
    for (const Trade::SceneMeshMaterial& entry : scene->meshesMaterials())
        meshMaterials.push_back({std::uint32_t(entry.object), {entry.mesh, entry.material}});
    auto copyAttachments = [](std::span<const Trade::SceneAttachment> from,
                              std::vector<ImportedAssignment<std::uint32_t>>& to) {
        to.clear();
        for (const Trade::SceneAttachment& entry : from)
            to.push_back({std::uint32_t(entry.object), entry.index});
    };
    copyAttachments(scene->skins(), skinAssignments);
    copyAttachments(scene->cameras(), cameraAssignments);
    copyAttachments(scene->lights(), lightAssignments);
    return true;
}

} // namespace ZarvikEngine
