/* zarvik import over the real scene files of Debian's assimp-testmodels: every file imports
   into a file that validates or fails with a message, and what glTF files hold comes back out
   of the asset file: meshes, skins and animations sampled against the glTF data itself */

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <tiny_gltf.h>

#include "Commands.h"
#include "SceneChunk.h"
#include "ToolTestHelpers.h"
#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Data/AssetData.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"
#include "ZarvikEngine/Tools/ImportedSceneCache.h"
#include "ZarvikEngine/Tools/MeshTools.h"
#include "ZarvikEngine/Trade/GltfImporter.h"
#include "ZarvikEngine/Trade/ImporterForFile.h"

namespace ZarvikEngine::Tool {
namespace {

using namespace Data;
namespace fs = std::filesystem;

const fs::path Corpus = "/usr/share/assimp/models";

/* The scene files of the folders, in a fixed order */
std::vector<fs::path> sceneFiles(std::initializer_list<const char*> folders) {
    std::vector<fs::path> files;
    for (const char* folder : folders)
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator{Corpus / folder})
            if (entry.is_regular_file() && Trade::importerForFile(entry.path()))
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<char> readBytes(const fs::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

/* Imports source into output; the summary, or nothing after checking how it failed */
std::optional<nlohmann::json> importFile(const fs::path& source, const std::string& output,
                                         bool fullPrecision) {
    ImportOptions options;
    options.source = source.string();
    options.output = output;
    options.json = true;
    options.fullPrecision = fullPrecision;
    fs::remove(output);
    const Output result = capture([&] { return importScene(options); });
    if (result.status != Success) {
        EXPECT_EQ(result.status, Failure) << source;
        EXPECT_NE(result.err.find("zarvik: " + source.string() + ": "), std::string::npos)
            << source << ": " << result.err;
        EXPECT_FALSE(fs::exists(output)) << source;
        return std::nullopt;
    }
    const AssetFileValidation validation = validateAssetFile(readBytes(output));
    EXPECT_TRUE(validation.valid()) << source << ": " << validation.error.value_or("");
    EXPECT_TRUE(validation.warnings.empty()) << source;
    return nlohmann::json::parse(result.out);
}

TEST(ImportCorpus, EveryFileImportsOrFailsWithAMessage) {
    const std::vector<fs::path> files = sceneFiles({"glTF2", "FBX", "Collada", "OBJ"});
    ASSERT_GT(files.size(), 100u);
    const std::string output = temporaryPath("corpus.zvk");
    std::size_t imported = 0, vertices = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : files)
        if (const std::optional<nlohmann::json> summary = importFile(file, output, false)) {
            ++imported;
            vertices += std::size_t(summary->at("meshes").at("vertices"));
        }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu of %zu files imported, %zu vertices, in %.1f s\n", imported, files.size(),
                vertices, seconds);
    /* Most of the corpus is fine; the rest are the deliberately broken files */
    EXPECT_GT(imported, files.size() * 3 / 4);
    fs::remove(output);
}

/* glTF data read directly, as the file defines it */
class GltfSource {
public:
    explicit GltfSource(const fs::path& path) {
        tinygltf::TinyGLTF loader;
        /* Images aren't needed */
        loader.SetImageLoader([](tinygltf::Image*, int, std::string*, std::string*, int, int,
                                 const unsigned char*, int, void*) { return true; },
                              nullptr);
        std::string error, warning;
        _loaded = path.extension() == ".glb"
                      ? loader.LoadBinaryFromFile(&_model, &error, &warning, path.string())
                      : loader.LoadASCIIFromFile(&_model, &error, &warning, path.string());
    }

    bool loaded() const { return _loaded; }
    const tinygltf::Model& model() const { return _model; }

    /* The accessor's values as floats, normalized integers unpacked as glTF says */
    std::vector<float> floats(int index) const {
        const tinygltf::Accessor& accessor = _model.accessors.at(std::size_t(index));
        const std::size_t components =
            std::size_t(tinygltf::GetNumComponentsInType(std::uint32_t(accessor.type)));
        const std::size_t size =
            std::size_t(tinygltf::GetComponentSizeInBytes(std::uint32_t(accessor.componentType)));
        std::vector<float> values(accessor.count * components);
        if (accessor.bufferView >= 0) {
            const tinygltf::BufferView& view =
                _model.bufferViews.at(std::size_t(accessor.bufferView));
            const std::size_t stride = view.byteStride ? view.byteStride : components * size;
            const unsigned char* data = _model.buffers.at(std::size_t(view.buffer)).data.data() +
                                        view.byteOffset + accessor.byteOffset;
            for (std::size_t i = 0; i != accessor.count; ++i)
                for (std::size_t c = 0; c != components; ++c)
                    values[i * components + c] = component(
                        data + i * stride + c * size, accessor.componentType, accessor.normalized);
        }
        if (accessor.sparse.isSparse) {
            const auto& sparse = accessor.sparse;
            const tinygltf::BufferView& indexView =
                _model.bufferViews.at(std::size_t(sparse.indices.bufferView));
            const tinygltf::BufferView& valueView =
                _model.bufferViews.at(std::size_t(sparse.values.bufferView));
            const unsigned char* indices =
                _model.buffers.at(std::size_t(indexView.buffer)).data.data() +
                indexView.byteOffset + std::size_t(sparse.indices.byteOffset);
            const unsigned char* sparseValues =
                _model.buffers.at(std::size_t(valueView.buffer)).data.data() +
                valueView.byteOffset + std::size_t(sparse.values.byteOffset);
            const std::size_t indexSize = std::size_t(
                tinygltf::GetComponentSizeInBytes(std::uint32_t(sparse.indices.componentType)));
            for (std::size_t i = 0; i != std::size_t(sparse.count); ++i) {
                std::uint32_t target = 0;
                std::memcpy(&target, indices + i * indexSize, indexSize);
                for (std::size_t c = 0; c != components; ++c)
                    values.at(target * components + c) =
                        component(sparseValues + (i * components + c) * size,
                                  accessor.componentType, accessor.normalized);
            }
        }
        return values;
    }

private:
    static float component(const unsigned char* data, int type, bool normalized) {
        auto read = [&]<class T>(T, float scale) {
            T value;
            std::memcpy(&value, data, sizeof(T));
            return normalized ? std::max(float(value) / scale, -1.0f) : float(value);
        };
        switch (type) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
            return read(std::int8_t{}, 127.0f);
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
            return read(std::uint8_t{}, 255.0f);
        case TINYGLTF_COMPONENT_TYPE_SHORT:
            return read(std::int16_t{}, 32767.0f);
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
            return read(std::uint16_t{}, 65535.0f);
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
            return read(std::uint32_t{}, 4294967295.0f);
        default:
            return read(float{}, 1.0f);
        }
    }

    tinygltf::Model _model;
    bool _loaded;
};

/* One channel of a glTF animation sampled as the file defines it */
class GltfChannel {
public:
    GltfChannel(const GltfSource& source, const tinygltf::AnimationSampler& sampler,
                std::size_t components)
        : _times{source.floats(sampler.input)}, _values{source.floats(sampler.output)},
          _components{components}, _cubic{sampler.interpolation == "CUBICSPLINE"},
          _step{sampler.interpolation == "STEP"} {}

    Vector4 at(float time) const {
        const std::size_t count = _times.size();
        if (time <= _times.front())
            return value(0);
        if (time >= _times.back())
            return value(count - 1);
        const std::size_t i =
            std::size_t(std::upper_bound(_times.begin(), _times.end(), time) - _times.begin() - 1);
        if (_step)
            return value(i);
        const float duration = _times[i + 1] - _times[i];
        const float t = (time - _times[i]) / duration;
        if (_cubic) {
            const float t2 = t * t, t3 = t2 * t;
            const Vector4 result =
                (2 * t3 - 3 * t2 + 1) * value(i) + (t3 - 2 * t2 + t) * duration * outTangent(i) +
                (-2 * t3 + 3 * t2) * value(i + 1) + (t3 - t2) * duration * inTangent(i + 1);
            return _components == 4 ? glm::normalize(result) : result;
        }
        if (_components == 4) {
            const Quaternion a = quaternion(Vector3{value(i)}, value(i).w),
                             b = quaternion(Vector3{value(i + 1)}, value(i + 1).w);
            const Quaternion q = glm::normalize(slerpShortestPath(a, b, t));
            return {q.x, q.y, q.z, q.w};
        }
        return glm::mix(value(i), value(i + 1), t);
    }

private:
    /* Cubic splines store an in-tangent, the value and an out-tangent per key */
    Vector4 element(std::size_t index) const {
        Vector4 result{0.0f};
        for (std::size_t c = 0; c != _components; ++c)
            result[int(c)] = _values.at(index * _components + c);
        return result;
    }
    Vector4 value(std::size_t key) const { return element(_cubic ? 3 * key + 1 : key); }
    Vector4 inTangent(std::size_t key) const { return element(3 * key); }
    Vector4 outTangent(std::size_t key) const { return element(3 * key + 2); }

    std::vector<float> _times, _values;
    std::size_t _components;
    bool _cubic, _step;
};

/* Ids of the scene chunk by node: depth-first pre-order from the scene's roots */
std::vector<std::uint64_t> nodesInOrder(const Trade::SceneData& scene) {
    std::map<std::int64_t, std::vector<std::uint64_t>> children;
    for (const Trade::SceneParent& entry : scene.parents())
        children[entry.parent].push_back(entry.object);
    std::vector<std::uint64_t> order;
    std::vector<std::uint64_t> stack{children[-1].rbegin(), children[-1].rend()};
    while (!stack.empty()) {
        const std::uint64_t node = stack.back();
        stack.pop_back();
        order.push_back(node);
        const std::vector<std::uint64_t>& below = children[std::int64_t(node)];
        stack.insert(stack.end(), below.rbegin(), below.rend());
    }
    return order;
}

using Triangle = std::array<Vector3, 3>;

/* The triangles a mesh draws, each starting at its smallest corner so that the winding
   stays, sorted */
std::vector<Triangle> trianglesOf(const std::vector<Vector3>& positions,
                                  const std::vector<std::uint32_t>& corners) {
    std::vector<Triangle> triangles;
    auto less = [](const Vector3& a, const Vector3& b) {
        return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
    };
    for (std::size_t i = 0; i + 2 < corners.size(); i += 3) {
        Triangle triangle{positions.at(corners[i]), positions.at(corners[i + 1]),
                          positions.at(corners[i + 2])};
        const std::size_t first = std::size_t(
            std::min_element(triangle.begin(), triangle.end(), less) - triangle.begin());
        std::rotate(triangle.begin(), triangle.begin() + std::ptrdiff_t(first), triangle.end());
        triangles.push_back(triangle);
    }
    std::sort(triangles.begin(), triangles.end(), [&](const Triangle& a, const Triangle& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less);
    });
    return triangles;
}

/* Corners of the triangles of an indexed or plain triangle list */
std::vector<std::uint32_t> cornersOf(const Trade::MeshData& mesh) {
    std::vector<std::uint32_t> corners(mesh.isIndexed() ? mesh.indexCount() : mesh.vertexCount());
    if (mesh.isIndexed())
        MeshTools::indicesInto(mesh, std::span{corners});
    else
        std::iota(corners.begin(), corners.end(), 0u);
    return corners;
}

std::vector<Vector3> positionsOf(const Trade::MeshData& mesh) {
    const auto positions = mesh.attribute<Vector3>(Trade::MeshAttribute::Position);
    return {positions.begin(), positions.end()};
}

/* Positions that aren't finite can't be compared; the importer's output of them is only
   checked to be a valid file */
bool finite(const std::vector<Vector3>& positions) {
    return std::all_of(positions.begin(), positions.end(), [](const Vector3& position) {
        return std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z);
    });
}

void expectSameTriangles(const std::vector<Triangle>& source, const std::vector<Triangle>& output,
                         float tolerance, const std::string& what) {
    ASSERT_EQ(source.size(), output.size()) << what;
    for (std::size_t i = 0; i != source.size(); ++i)
        for (std::size_t c = 0; c != 3; ++c)
            ASSERT_LE(glm::length(source[i][c] - output[i][c]),
                      tolerance * std::max(1.0f, glm::length(source[i][c])))
                << what << " triangle " << i;
}

/* Per object of the scene chunk, the source meshes the importer gives, then the mesh records
   drawn there: same counts and the same triangles */
void compareMeshes(const fs::path& file, Trade::GltfImporter& importer,
                   const Trade::SceneData& sourceScene, const std::vector<std::uint64_t>& nodes,
                   const Scene& scene, const std::vector<std::span<const char>>& meshRecords) {
    for (std::size_t id = 0; id != nodes.size(); ++id) {
        std::vector<Trade::MeshData> sources;
        for (const Trade::SceneMeshMaterial& entry : sourceScene.meshesMaterials())
            if (entry.object == nodes[id])
                if (std::optional<Trade::MeshData> mesh = importer.mesh(entry.mesh);
                    mesh && ImportedSceneCache::canConvertMesh(*mesh))
                    sources.push_back(std::move(*mesh));
        std::vector<std::uint32_t> outputs;
        for (const SceneMesh& entry : scene.meshes)
            if (std::size_t(entry.object) == id)
                outputs.push_back(entry.mesh);
        ASSERT_EQ(sources.size(), outputs.size()) << file << " object " << id;

        for (std::size_t m = 0; m != sources.size(); ++m) {
            const Trade::MeshData& source = sources[m];
            const MeshData record{meshRecords.at(outputs[m])};
            const std::string what = file.string() + " object " + std::to_string(id);
            /* The source as the engine layout's float triangle list: strips and fans made
               lists, every position format as floats */
            const Trade::MeshData reference =
                ImportedSceneCache::convertMesh(source, MeshDataFlag::Positions, {});
            const std::vector<Vector3> referencePositions = positionsOf(reference);
            if (!finite(referencePositions))
                continue;
            const std::vector<std::uint32_t> corners = cornersOf(reference);
            EXPECT_EQ(record.header().vertexCount, reference.vertexCount()) << what;
            EXPECT_EQ(record.header().indexCount, reference.isIndexed() ? corners.size() : 0u)
                << what;
            const Trade::MeshData output = record.meshCopy();
            expectSameTriangles(trianglesOf(referencePositions, corners),
                                trianglesOf(positionsOf(output), cornersOf(output)), 1e-6f, what);
        }
    }
}

void compareSkins(const fs::path& file, Trade::GltfImporter& importer,
                  const Trade::SceneData& sourceScene, const std::vector<std::uint64_t>& nodes,
                  const Scene& scene, const std::vector<std::span<const char>>& skinRecords) {
    for (const SceneSkin& entry : scene.skins) {
        const std::uint64_t node = nodes[std::size_t(entry.object)];
        const auto source = std::find_if(
            sourceScene.skins().begin(), sourceScene.skins().end(),
            [&](const Trade::SceneAttachment& attachment) { return attachment.object == node; });
        ASSERT_NE(source, sourceScene.skins().end()) << file;
        const std::optional<Trade::SkinData3D> skin = importer.skin3D(source->index);
        ASSERT_TRUE(skin) << file;
        const SkinData record{skinRecords.at(entry.skin)};
        ASSERT_EQ(record.joints().size(), skin->joints().size()) << file;
        for (std::size_t j = 0; j != record.joints().size(); ++j) {
            EXPECT_EQ(nodes[std::size_t(record.joints()[j])], skin->joints()[j]) << file;
            const Matrix4 recomposed =
                toMatrix(record.inverseBindPose()[j]) *
                glm::scale(Matrix4{1.0f}, record.inverseBindPoseScaling()[j]);
            const Matrix4& expected = skin->inverseBindMatrices()[j];
            for (int column = 0; column != 4; ++column)
                for (int row = 0; row != 4; ++row)
                    EXPECT_NEAR(recomposed[column][row], expected[column][row],
                                1e-4f * std::max(1.0f, std::abs(expected[column][row])))
                        << file << " joint " << j;
        }
    }
}

/* Angle between two rotations, from the chord, which keeps its precision for small angles */
float angleBetween(const Quaternion& a, const Quaternion& b) {
    const Vector4 x{a.x, a.y, a.z, a.w}, y{b.x, b.y, b.z, b.w};
    const float chord = glm::length(glm::dot(x, y) < 0.0f ? x + y : x - y);
    return 4.0f * std::asin(std::min(chord / 2.0f, 1.0f));
}

/* Each animation record against the glTF animation it came from, sampled at 50 times */
void compareAnimations(const fs::path& file, const GltfSource& source,
                       const std::vector<std::uint64_t>& nodes,
                       const std::vector<std::span<const char>>& animationRecords,
                       const std::vector<std::span<const char>>& targetRecords,
                       bool fullPrecision) {
    std::map<std::uint64_t, Id> idOf;
    for (std::size_t id = 0; id != nodes.size(); ++id)
        idOf[nodes[id]] = Id(id);

    std::size_t record = 0;
    for (const tinygltf::Animation& animation : source.model().animations) {
        struct Channel {
            Id target;
            std::string path;
            GltfChannel sampled;
        };
        std::vector<Channel> channels;
        for (const tinygltf::AnimationChannel& channel : animation.channels)
            if (idOf.count(std::uint64_t(channel.target_node)) && channel.target_path != "weights")
                channels.push_back(
                    {idOf[std::uint64_t(channel.target_node)], channel.target_path,
                     GltfChannel{source, animation.samplers.at(std::size_t(channel.sampler)),
                                 channel.target_path == "rotation" ? 4u : 3u}});
        if (channels.empty())
            continue;
        ASSERT_LT(record, animationRecords.size()) << file;
        const AnimationData data{animationRecords[record]};
        const std::span<const Id> targets = AnimationTargetsData{targetRecords[record]}.targets();
        ++record;
        const Data::Animation clip = data.animation();
        ASSERT_EQ(clip.trackCount(), targets.size()) << file;
        Skeletal::SamplingContext context{clip.trackCount()};
        std::vector<Skeletal::SoaTransform> pose(clip.soaTrackCount());
        const float duration = clip.duration();
        const float timeStep = duration / 65535.0f;
        for (std::size_t k = 0; k != 50; ++k) {
            const float time = duration * float(k) / 49.0f;
            ASSERT_TRUE((Skeletal::SamplingJob{duration > 0.0f ? time / duration : 0.0f,
                                               clip.runtimeAnimation(), &context, pose}
                             .run()));
            for (const Channel& channel : channels) {
                const std::size_t track = std::size_t(
                    std::find(targets.begin(), targets.end(), channel.target) - targets.begin());
                ASSERT_LT(track, targets.size()) << file;
                const Skeletal::SoaTransform& soa = pose[track / 4];
                const Vector4 expected = channel.sampled.at(time);
                /* Quantized keys stand up to a time step off their place */
                const Vector4 drift = fullPrecision ? Vector4{0.0f}
                                                    : glm::abs(channel.sampled.at(time + timeStep) -
                                                               channel.sampled.at(time - timeStep));
                const std::string what = file.string() + " " + animation.name + " " + channel.path +
                                         " at " + std::to_string(time);
                if (channel.path == "rotation") {
                    const Quaternion value = soa.rotation.get(int(track % 4));
                    EXPECT_LE(angleBetween(value, quaternion(Vector3{expected}, expected.w)),
                              (fullPrecision ? 3e-4f : 3e-3f) + 2.0f * glm::length(drift))
                        << what;
                } else {
                    const Vector3 value = channel.path == "translation"
                                              ? soa.translation.get(int(track % 4))
                                              : soa.scale.get(int(track % 4));
                    const float magnitude = std::max(1.0f, glm::length(Vector3{expected}));
                    EXPECT_LE(glm::length(value - Vector3{expected}),
                              (fullPrecision ? 2e-4f : 2e-3f) * magnitude +
                                  glm::length(Vector3{drift}))
                        << what;
                }
            }
        }
    }
    EXPECT_EQ(record, animationRecords.size()) << file;
}

TEST(ImportCorpus, GltfFilesComeBackOutOfTheAssetFile) {
    const std::string output = temporaryPath("roundtrip.zvk");
    std::size_t compared = 0;
    for (const fs::path& file : sceneFiles({"glTF2"}))
        for (const bool fullPrecision : {true, false}) {
            if (!importFile(file, output, fullPrecision))
                continue;
            const std::vector<char> bytes = readBytes(output);
            std::map<Magic, std::vector<std::span<const char>>> chunks;
            for (AssetChunkView chunk{bytes};; chunk = chunk.next()) {
                chunks[chunk.header().magic].push_back(chunk.data());
                if (!chunk.hasNext())
                    break;
            }
            const SceneReadResult scene = readSceneData(chunks[Magic::Scene].at(0));
            ASSERT_TRUE(scene.scene) << file << ": " << scene.error;

            Trade::GltfImporter importer;
            std::ostringstream quiet;
            Error silence{&quiet};
            Warning silenceWarnings{&quiet};
            ASSERT_TRUE(importer.openFile(file)) << file;
            const std::uint32_t sceneId = importer.defaultScene().value_or(0);
            const std::optional<Trade::SceneData> sourceScene = importer.scene(sceneId);
            ASSERT_TRUE(sourceScene) << file;
            const std::vector<std::uint64_t> nodes = nodesInOrder(*sourceScene);
            ASSERT_EQ(nodes.size(), scene.scene->objects.size()) << file;

            compareMeshes(file, importer, *sourceScene, nodes, *scene.scene, chunks[Magic::Mesh]);
            compareSkins(file, importer, *sourceScene, nodes, *scene.scene, chunks[Magic::Skin]);
            const GltfSource source{file};
            ASSERT_TRUE(source.loaded()) << file;
            compareAnimations(file, source, nodes, chunks[Magic::Animation],
                              chunks[Magic::AnimationTargets], fullPrecision);
            ++compared;
        }
    std::printf("%zu imports compared with their glTF source\n", compared);
    EXPECT_GT(compared, 40u);
    fs::remove(output);
}

} // namespace
} // namespace ZarvikEngine::Tool
