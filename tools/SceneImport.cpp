#include "SceneImport.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include <unistd.h>

#include <fmt/format.h>

#include "ImportedMaterial.h"
#include "ZarvikEngine/BoundingSphere.h"
#include "ZarvikEngine/Data/AnimationImport.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Data/RenderingRecords.h"
#include "ZarvikEngine/Shaders/MaterialDefinition.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Tools/AnimationTools.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Tool {

namespace {

using namespace Data;
using Trade::MeshAttribute;

/* The most objects a scene of an asset file holds: Ids are 16-bit and 0xffff is invalid */
constexpr std::size_t MaxObjects = 0xffff;

/* A morph target's value as a float vector, for the formats targets come in */
std::optional<Vector3> morphValue(VertexFormat format, const char* bytes) {
    auto read = [&]<class T>(T, bool normalized) {
        T value[3];
        std::memcpy(value, bytes, sizeof(value));
        Vector3 result;
        for (int i = 0; i != 3; ++i)
            result[i] = normalized ? unpack<float>(value[i]) : float(value[i]);
        return result;
    };
    switch (format) {
    case VertexFormat::Vector3: {
        float value[3];
        std::memcpy(value, bytes, sizeof(value));
        return Vector3{value[0], value[1], value[2]};
    }
    case VertexFormat::Vector3b:
        return read(std::int8_t{}, false);
    case VertexFormat::Vector3bNormalized:
        return read(std::int8_t{}, true);
    case VertexFormat::Vector3s:
        return read(std::int16_t{}, false);
    case VertexFormat::Vector3sNormalized:
        return read(std::int16_t{}, true);
    default:
        return std::nullopt;
    }
}

/* Names end at a zero byte, which the scene data uses as separator */
std::string sceneName(const std::string& name) {
    return name.substr(0, name.find('\0'));
}

} // namespace

Progress::Progress(std::string_view stage, std::size_t total)
    : _stage{stage}, _total{total}, _terminal{isatty(STDERR_FILENO) == 1}, _start{Clock::now()},
      _lastPrint{_start} {}

void Progress::advance() {
    ++_done;
    const Clock::time_point now = Clock::now();
    if (_terminal && now - _start >= std::chrono::seconds{1} &&
        now - _lastPrint >= std::chrono::seconds{1}) {
        /* Straight to the terminal: warnings, not progress, are what a log keeps */
        std::fprintf(stderr, "zarvik import: %s %zu/%zu\n", _stage.c_str(), _done, _total);
        _lastPrint = now;
    }
}

std::optional<SceneImport> SceneImport::create(ImportedSceneCache& cache,
                                               const ImportOptions& options) {
    if (cache.objectOrder.size() > MaxObjects) {
        reportError(options.source,
                    fmt::format("the scene has {} objects, an asset file's scene holds at most {}",
                                cache.objectOrder.size(), MaxObjects));
        return std::nullopt;
    }
    return SceneImport{cache, options};
}

SceneImport::SceneImport(ImportedSceneCache& cache, const ImportOptions& options)
    : _cache{&cache}, _options{&options}, _ids(cache.objectNames.size(), InvalidId) {
    for (std::size_t i = 0; i != cache.objectOrder.size(); ++i)
        _ids[cache.objectOrder[i]] = Id(i);
    _counts.objects = cache.objectOrder.size();
}

void SceneImport::writeMeshes(std::vector<char>& file) {
    /* Empty flags take what each mesh has; tangents on top of that need every other flag */
    constexpr MeshDataFlags EveryAttribute =
        MeshDataFlag::Positions | MeshDataFlag::TextureCoordinates | MeshDataFlag::Normals |
        MeshDataFlag::Tangents | MeshDataFlag::ObjectIds | MeshDataFlag::Skinning |
        MeshDataFlag::ExtendedSkinning | MeshDataFlag::Colors |
        MeshDataFlag::SecondaryTextureCoordinates;
    MeshDataFlags requested = _options->layout;
    if (_options->tangents)
        requested = (requested ? requested : EveryAttribute) | MeshDataFlag::Tangents;
    _meshRecords.assign(_cache->meshes.size(), -1);
    Progress progress{"meshes", _cache->meshes.size()};
    for (std::size_t i = 0; i != _cache->meshes.size(); ++i, progress.advance()) {
        const std::optional<Trade::MeshData>& mesh = _cache->meshes[i];
        const std::string& name = _cache->meshNames[i];
        if (!mesh || !ImportedSceneCache::canConvertMesh(*mesh)) {
            ++_counts.meshesSkipped;
            continue;
        }
        const Trade::MeshData converted = ImportedSceneCache::convertMesh(*mesh, requested, name);
        const std::uint32_t position = converted.attributeId(MeshAttribute::Position);
        if (converted.attributeFormat(position) != VertexFormat::Vector3) {
            ++_counts.meshesSkipped;
            continue;
        }
        const MeshDataFlags layout = getMeshFlags(converted);
        const Trade::MeshData packed =
            packMesh(layout, _options->fullPrecision ? MeshDataFlags{} : layout, converted);
        createMeshChunk(packed, {}, {}, boundingSphere(converted.attribute<Vector3>(position)),
                        file);
        _meshRecords[i] = std::int32_t(_counts.meshes++);
        _counts.vertices += packed.vertexCount();
        _counts.indices += packed.isIndexed() ? packed.indexCount() : 0;
        writeMorphTargets(*mesh, name, file);
    }
}

void SceneImport::writeMorphTargets(const Trade::MeshData& mesh, std::string_view name,
                                    std::vector<char>& file) {
    std::int32_t targetCount = 0;
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i)
        targetCount = std::max(targetCount, mesh.attributeMorphTargetId(i) + 1);
    if (!targetCount)
        return;
    /* Converting indexed strips and fans gives the vertices a new order */
    if (mesh.primitive() != MeshPrimitive::Triangles && mesh.isIndexed()) {
        Warning{} << "zarvik import: the morph targets of mesh" << name
                  << "are left out, its primitive isn't a triangle list";
        return;
    }

    /* Every target gets the attributes any target has, as floats, zero where it has none */
    const MeshAttribute names[]{MeshAttribute::Position, MeshAttribute::Normal,
                                MeshAttribute::Tangent};
    std::vector<MeshAttribute> present;
    for (const MeshAttribute attribute : names)
        for (std::int32_t target = 0; target != targetCount; ++target)
            if (mesh.hasAttribute(attribute, target)) {
                present.push_back(attribute);
                break;
            }

    const std::uint32_t vertexCount = mesh.vertexCount();
    std::vector<Trade::MeshData> targets;
    std::vector<std::string> targetNames;
    for (std::int32_t target = 0; target != targetCount; ++target) {
        std::vector<char> data(present.size() * vertexCount * sizeof(Vector3));
        std::vector<Trade::MeshAttributeData> attributes;
        for (std::size_t a = 0; a != present.size(); ++a) {
            const std::size_t offset = a * vertexCount * sizeof(Vector3);
            attributes.emplace_back(present[a], VertexFormat::Vector3, offset, vertexCount,
                                    std::ptrdiff_t(sizeof(Vector3)));
            const std::optional<std::uint32_t> id = mesh.findAttributeId(present[a], 0, target);
            if (!id)
                continue;
            const StridedArrayView2D<const char> rows = mesh.attribute(*id);
            for (std::uint32_t v = 0; v != vertexCount; ++v) {
                const std::optional<Vector3> value =
                    morphValue(mesh.attributeFormat(*id), rows[v].data());
                if (!value) {
                    Warning{} << "zarvik import: the morph targets of mesh" << name
                              << "are left out, target" << target << "has"
                              << mesh.attributeFormat(*id) << "values";
                    return;
                }
                std::memcpy(data.data() + offset + v * sizeof(Vector3), &*value, sizeof(Vector3));
            }
        }
        targets.emplace_back(MeshPrimitive::Triangles, std::move(data), std::move(attributes),
                             vertexCount);
        targetNames.push_back(fmt::format("target_{}", target));
    }
    const MorphTargetSet set{fromStrings(targetNames), std::move(targets)};
    AssetChunk::create(MorphTargetData::magic, createMorphTargetData(set, {}), file);
    ++_counts.morphTargetSets;
}

void SceneImport::writeSkins(std::vector<char>& file) {
    _skinRecords.assign(_cache->skins.size(), -1);
    for (std::size_t i = 0; i != _cache->skins.size(); ++i) {
        const std::optional<Trade::SkinData3D>& skin = _cache->skins[i];
        if (!skin) {
            ++_counts.skinsSkipped;
            continue;
        }
        std::vector<Id> joints;
        std::vector<DualQuaternion> inverseBindPoses;
        std::vector<Vector3> scalings;
        for (std::size_t j = 0; j != skin->joints().size(); ++j) {
            const std::uint32_t object = skin->joints()[j];
            const Id id = object < _ids.size() ? _ids[object] : InvalidId;
            if (id == InvalidId)
                break;
            const TrsTransformation inverseBind = decompose(skin->inverseBindMatrices()[j]);
            joints.push_back(id);
            inverseBindPoses.push_back(dualQuaternionFromRotationTranslation(
                inverseBind.rotation, inverseBind.translation));
            scalings.push_back(inverseBind.scaling);
        }
        if (joints.size() != skin->joints().size()) {
            Warning{} << "zarvik import: skin" << _cache->skinNames[i]
                      << "is left out, a joint isn't an object of the scene";
            ++_counts.skinsSkipped;
            continue;
        }
        AssetChunk::create(SkinData::magic, createSkinData(inverseBindPoses, scalings, joints),
                           file);
        _skinRecords[i] = std::int32_t(_counts.skins++);
    }
}

void SceneImport::writeAnimations(std::vector<char>& file) {
    /* Channels an animation leaves alone keep the object's own transformation */
    std::map<Id, TrsTransformation> rest;
    for (const ImportedTransform& transform : _cache->transforms)
        if (transform.object < _ids.size() && _ids[transform.object] != InvalidId)
            rest[_ids[transform.object]] = {transform.translation, transform.rotation,
                                            transform.scaling};

    Progress progress{"animations", _cache->animations.size()};
    for (std::size_t i = 0; i != _cache->animations.size(); ++i, progress.advance()) {
        const std::optional<Trade::AnimationData>& animation = _cache->animations[i];
        const std::string& name = _cache->animationNames[i];
        if (!animation) {
            ++_counts.animationsSkipped;
            continue;
        }
        /* Clips interpolate linearly; a step holds its value until two steps of the quantized
           key time before the next key */
        const float holdTime = 2.0f * std::max(animation->duration().max(), 1.0f) / 65535.0f;
        const Trade::AnimationData thinned = AnimationTools::removeLinearlyRedundantKeyframes(
            AnimationTools::linearizeConstantTracks(*animation, holdTime));
        std::vector<std::uint16_t> targets;
        for (std::uint32_t t = 0; t != thinned.trackCount(); ++t) {
            const std::uint64_t object = thinned.trackTarget(t);
            targets.push_back(object < _ids.size() ? std::uint16_t(_ids[std::size_t(object)])
                                                   : InvalidIndex);
        }
        auto [raw, ids] = convertToOzzData(thinned, targets);
        if (ids.empty()) {
            Warning{} << "zarvik import: animation" << name
                      << "is left out, it animates no object of the scene";
            ++_counts.animationsSkipped;
            continue;
        }
        for (std::size_t t = 0; t != raw.tracks.size(); ++t) {
            Skeletal::RawAnimation::Track& track = raw.tracks[t];
            const auto found = rest.find(ids[t]);
            const TrsTransformation pose =
                found == rest.end() ? TrsTransformation{} : found->second;
            if (track.translations.empty())
                track.translations.push_back({0.0f, pose.translation});
            if (track.rotations.empty())
                track.rotations.push_back({0.0f, pose.rotation});
            if (track.scales.empty())
                track.scales.push_back({0.0f, pose.scaling});
        }
        /* Within 1e-4 radians of the spherical interpolation the source means */
        subdivideRotations(raw, 0.25f);
        const std::vector<char> data = createAnimationData(raw, {}, {}, _options->fullPrecision);
        if (data.empty()) {
            Warning{} << "zarvik import: animation" << name << "is left out";
            ++_counts.animationsSkipped;
            continue;
        }
        AssetChunk::create(AnimationData::magic, data, file);
        AssetChunk::create(AnimationTargetsData::magic, createAnimationTargetsData(0, ids), file);
        ++_counts.animations;
        _counts.animationTracks += raw.tracks.size();
    }
}

void SceneImport::writeTextures(std::vector<char>& file) {
    _textureRecords.assign(_cache->textures.size(), -1);
    for (std::size_t i = 0; i != _cache->textures.size(); ++i) {
        const std::optional<Trade::TextureData>& texture = _cache->textures[i];
        const std::int32_t image = texture && texture->image() < _imageRecords.size()
                                       ? _imageRecords[texture->image()]
                                       : -1;
        if (image == -1) {
            if (texture)
                Warning{} << "zarvik import: texture" << _cache->textureNames[i]
                          << "is left out, its image wasn't imported";
            ++_counts.texturesSkipped;
            continue;
        }
        AssetChunk::create(TextureData::magic,
                           createTextureData(std::uint16_t(image), 0, texture->minificationFilter(),
                                             texture->magnificationFilter(),
                                             texture->mipmapFilter(), texture->wrapping()),
                           file);
        _textureRecords[i] = std::int32_t(_counts.textures++);
    }
}

std::int32_t SceneImport::textureRecord(const Trade::MaterialData& material,
                                        Trade::MaterialAttribute name,
                                        std::string_view materialName) const {
    const std::optional<std::uint32_t> texture = material.findAttribute<std::uint32_t>(name);
    if (!texture)
        return -1;
    const std::int32_t record = *texture < _textureRecords.size() ? _textureRecords[*texture] : -1;
    if (record == -1)
        Warning{} << "zarvik import: material" << materialName << "loses its"
                  << Trade::materialAttributeName(name) << Debug::nospace
                  << ", the texture wasn't imported";
    return record;
}

void SceneImport::writeMaterials(std::vector<char>& file) {
    using Trade::MaterialAttribute;
    const Shaders::MaterialDefinition& definition = importedMaterialDefinition();
    _materialRecords.assign(_cache->materials.size(), -1);
    for (std::size_t i = 0; i != _cache->materials.size(); ++i) {
        const std::optional<Trade::MaterialData>& material = _cache->materials[i];
        if (!material) {
            ++_counts.materialsSkipped;
            continue;
        }
        const std::string& name = _cache->materialNames[i];
        ImportedMaterial imported;
        imported.baseColor =
            material->findAttribute<Vector4>(MaterialAttribute::BaseColor)
                .value_or(material->attributeOr(MaterialAttribute::DiffuseColor, Vector4{1.0f}));
        imported.baseColorTexture =
            textureRecord(*material, MaterialAttribute::BaseColorTexture, name);
        if (imported.baseColorTexture == -1)
            imported.baseColorTexture =
                textureRecord(*material, MaterialAttribute::DiffuseTexture, name);
        imported.metallic = material->attributeOr(MaterialAttribute::Metalness, 0.0f);
        /* Phong shininess as the roughness that gives a similar highlight */
        imported.roughness =
            material->findAttribute<float>(MaterialAttribute::Roughness)
                .value_or(material->hasAttribute(MaterialAttribute::Shininess)
                              ? std::sqrt(2.0f / (std::max(material->attributeOr(
                                                               MaterialAttribute::Shininess, 0.0f),
                                                           0.0f) +
                                                  2.0f))
                              : 1.0f);
        imported.metallicRoughnessTexture =
            textureRecord(*material, MaterialAttribute::MetalnessRoughnessTexture, name);
        imported.normalTexture = textureRecord(*material, MaterialAttribute::NormalTexture, name);
        imported.normalScale = material->attributeOr(MaterialAttribute::NormalTextureScale, 1.0f);
        imported.occlusionTexture =
            textureRecord(*material, MaterialAttribute::OcclusionTexture, name);
        imported.occlusionStrength =
            material->attributeOr(MaterialAttribute::OcclusionTextureStrength, 1.0f);
        imported.emissive = material->attributeOr(MaterialAttribute::EmissiveColor, Vector3{0.0f});
        imported.emissiveTexture =
            textureRecord(*material, MaterialAttribute::EmissiveTexture, name);
        imported.alphaMode = material->alphaMode();
        imported.alphaMask = material->alphaMask();
        imported.doubleSided = material->isDoubleSided();
        AssetChunk::create(MaterialData::magic,
                           createMaterialData(ImportedMaterialDefinitionIndex,
                                              imported.alphaMaterial(),
                                              imported.parameters(definition)),
                           file);
        _materialRecords[i] = std::int32_t(_counts.materials++);
    }
}

void SceneImport::writeFonts(std::vector<char>& file) {
    Progress progress{"fonts", _options->fonts.size()};
    for (const std::string& source : _options->fonts) {
        if (const std::optional<std::vector<char>> compiled = compileFontFile(source)) {
            AssetChunk::create(FontData::magic, createFontData(*compiled), file);
            ++_counts.fonts;
        } else {
            ++_counts.fontsSkipped;
        }
        progress.advance();
    }
}

void SceneImport::writeScene(std::vector<char>& file) {
    Scene scene;
    std::map<std::uint32_t, const ImportedTransform*> transforms;
    for (const ImportedTransform& transform : _cache->transforms)
        transforms[transform.object] = &transform;
    for (const std::uint32_t object : _cache->objectOrder) {
        SceneObject& sceneObject = scene.objects.emplace_back();
        const std::int64_t parent = _cache->objectParents[object];
        sceneObject.parent = parent == -1 ? InvalidId : _ids[std::size_t(parent)];
        if (const auto found = transforms.find(object); found != transforms.end()) {
            sceneObject.translation = found->second->translation;
            sceneObject.rotation = found->second->rotation;
            sceneObject.scaling = found->second->scaling;
        }
        sceneObject.name = sceneName(_cache->objectNames[object]);
    }

    /* Attachments to objects outside the scene, or of resources that weren't written, are
       dropped */
    auto idOf = [&](std::uint32_t object) {
        return object < _ids.size() ? _ids[object] : InvalidId;
    };
    auto recordOf = [](const RecordIndices& records, std::uint64_t index) {
        return index < records.size() ? records[std::size_t(index)] : -1;
    };
    for (const auto& [object, meshMaterial] : _cache->meshMaterials) {
        const std::int32_t mesh = recordOf(_meshRecords, meshMaterial.first);
        if (idOf(object) == InvalidId || mesh == -1)
            continue;
        const std::int32_t material =
            meshMaterial.second < 0
                ? -1
                : recordOf(_materialRecords, std::uint64_t(meshMaterial.second));
        scene.meshes.push_back({idOf(object), std::uint32_t(mesh), material});
    }
    for (const auto& [object, skin] : _cache->skinAssignments)
        if (idOf(object) != InvalidId && recordOf(_skinRecords, skin) != -1)
            scene.skins.push_back({idOf(object), std::uint32_t(recordOf(_skinRecords, skin))});
    for (const auto& [object, index] : _cache->cameraAssignments) {
        if (idOf(object) == InvalidId || index >= _cache->cameras.size() || !_cache->cameras[index])
            continue;
        const Trade::CameraData& camera = *_cache->cameras[index];
        scene.cameras.push_back({idOf(object), camera.type(), float(camera.fov()),
                                 camera.aspectRatio(), camera.near(), camera.far(), camera.size()});
    }
    for (const auto& [object, index] : _cache->lightAssignments) {
        if (idOf(object) == InvalidId || index >= _cache->lights.size() || !_cache->lights[index])
            continue;
        const Trade::LightData& light = *_cache->lights[index];
        scene.lights.push_back({idOf(object), light.type(), light.color(), light.intensity(),
                                light.range(), light.attenuation(), float(light.innerConeAngle()),
                                float(light.outerConeAngle())});
    }
    _counts.cameras = scene.cameras.size();
    _counts.lights = scene.lights.size();
    AssetChunk::create(Magic::Scene, createSceneData(scene), file);
}

} // namespace ZarvikEngine::Tool
