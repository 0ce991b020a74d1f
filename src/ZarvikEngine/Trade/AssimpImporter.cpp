#include "ZarvikEngine/Trade/AssimpImporter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fmt/format.h>

#include "ZarvikEngine/Trade/ImageDecoding.h"

namespace ZarvikEngine::Trade {

namespace {

/* Clean data for the rest of the pipeline, which generates normals and tangents itself */
constexpr unsigned PostProcessing = aiProcess_Triangulate | aiProcess_SortByPType |
                                    aiProcess_JoinIdenticalVertices |
                                    aiProcess_ValidateDataStructure;

/* Skinning arrays grow with the most influences on any one vertex; a hostile file can make
   that one vertex's count multiply every other vertex's size */
constexpr std::size_t MaxSkinningBytes = std::size_t{1} << 30;
constexpr std::size_t MaxImageBytes = std::size_t{1} << 30;

/* aiString keeps a length next to a fixed buffer; trust neither beyond the buffer */
std::string toString(const aiString& string) {
    return std::string(string.data, std::min<std::size_t>(string.length, MAXLEN - 1));
}

/* Assimp's matrices are row-major, a1…a4 being the first row */
Matrix4 toMatrix(const aiMatrix4x4& m) {
    return Matrix4{m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2,
                   m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4};
}

Vector3 toVector(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

/* Assimp's quaternion members are w, x, y, z; keys need not be normalized */
Quaternion toQuaternion(const aiQuaternion& q) {
    return glm::normalize(quaternionFromXyzw(q.x, q.y, q.z, q.w));
}

SamplerWrapping toWrapping(aiTextureMapMode mode) {
    switch (mode) {
    case aiTextureMapMode_Clamp:
        return SamplerWrapping::ClampToEdge;
    case aiTextureMapMode_Mirror:
        return SamplerWrapping::MirroredRepeat;
    case aiTextureMapMode_Decal:
        return SamplerWrapping::ClampToBorder;
    default:
        return SamplerWrapping::Repeat;
    }
}

Animation::Extrapolation toExtrapolation(aiAnimBehaviour behaviour) {
    return behaviour == aiAnimBehaviour_LINEAR ? Animation::Extrapolation::Extrapolated
                                               : Animation::Extrapolation::Constant;
}

/* Reading data from memory must not reach files next to the program's working directory:
   assimp hands every name but the buffer's to this */
class NoFileSystem final : public Assimp::IOSystem {
public:
    bool Exists(const char*) const override { return false; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char*, const char*) override { return nullptr; }
    void Close(Assimp::IOStream* file) override { delete file; }
};

/* The material slots that become texture attributes, each with the texture type assimp uses
   and one it uses instead for some formats */
struct TextureSlot {
    aiTextureType type, alternative;
    MaterialAttribute texture;
    /* Not every slot's coordinate set has a MaterialAttribute */
    const char* coordinates;
};

constexpr TextureSlot TextureSlots[]{
    {aiTextureType_DIFFUSE, aiTextureType_NONE, MaterialAttribute::DiffuseTexture,
     "DiffuseTextureCoordinates"},
    {aiTextureType_SPECULAR, aiTextureType_NONE, MaterialAttribute::SpecularTexture,
     "SpecularTextureCoordinates"},
    {aiTextureType_NORMALS, aiTextureType_NORMAL_CAMERA, MaterialAttribute::NormalTexture,
     "NormalTextureCoordinates"},
    {aiTextureType_EMISSIVE, aiTextureType_EMISSION_COLOR, MaterialAttribute::EmissiveTexture,
     "EmissiveTextureCoordinates"},
    {aiTextureType_BASE_COLOR, aiTextureType_NONE, MaterialAttribute::BaseColorTexture,
     "BaseColorTextureCoordinates"},
    {aiTextureType_AMBIENT_OCCLUSION, aiTextureType_NONE, MaterialAttribute::OcclusionTexture,
     "OcclusionTextureCoordinates"},
};
constexpr std::size_t TextureSlotCount = std::size(TextureSlots);

/* What a material gives for one slot */
struct TextureReference {
    std::string path;
    std::array<SamplerWrapping, 3> wrapping{};
    std::uint32_t coordinates{};
};

std::optional<TextureReference> textureReference(const aiMaterial& material,
                                                 const TextureSlot& slot) {
    for (const aiTextureType type : {slot.type, slot.alternative}) {
        if (type == aiTextureType_NONE)
            continue;
        aiString path;
        unsigned coordinates = 0;
        /* Assimp fills only U and V */
        aiTextureMapMode modes[3]{aiTextureMapMode_Wrap, aiTextureMapMode_Wrap,
                                  aiTextureMapMode_Wrap};
        if (material.GetTexture(type, 0, &path, nullptr, &coordinates, nullptr, nullptr, modes) !=
                AI_SUCCESS ||
            path.length == 0)
            continue;
        return TextureReference{toString(path),
                                {toWrapping(modes[0]), toWrapping(modes[1]), toWrapping(modes[2])},
                                coordinates};
    }
    return std::nullopt;
}

/* Embedded textures are referenced as "*N" or by the file name they had */
constexpr std::int64_t ExternalFile = -1;
constexpr std::int64_t MissingEmbedded = -2;

std::string_view shortFileName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::int64_t embeddedTexture(const aiScene& scene, std::string_view reference) {
    if (reference.starts_with('*')) {
        const std::string_view digits = reference.substr(1);
        std::uint64_t index = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9' || index > scene.mNumTextures)
                return MissingEmbedded;
            index = index * 10 + std::uint64_t(c - '0');
        }
        return !digits.empty() && index < scene.mNumTextures ? std::int64_t(index)
                                                             : MissingEmbedded;
    }
    const std::string_view name = shortFileName(reference);
    for (unsigned i = 0; i != scene.mNumTextures; ++i)
        if (shortFileName(toString(scene.mTextures[i]->mFilename)) == name)
            return i;
    return ExternalFile;
}

/* Pointers a count says are there, and every element of a pointer array */
template<class T>
bool present(T* const* array, unsigned count) {
    if (count == 0)
        return true;
    if (!array)
        return false;
    return std::all_of(array, array + count, [](const T* item) { return item != nullptr; });
}

template<class T>
bool present(const T* array, unsigned count) {
    return count == 0 || array;
}

/* The first pointer assimp left null where the counts promise data, named for the message */
const char* nullPointer(const aiScene& scene) {
    if (!present(scene.mMeshes, scene.mNumMeshes))
        return "mesh";
    for (unsigned i = 0; i != scene.mNumMeshes; ++i) {
        const aiMesh& mesh = *scene.mMeshes[i];
        if (!present(mesh.mFaces, mesh.mNumFaces))
            return "face list";
        if (!present(mesh.mBones, mesh.mNumBones))
            return "bone";
        for (unsigned j = 0; j != mesh.mNumBones; ++j)
            if (!present(mesh.mBones[j]->mWeights, mesh.mBones[j]->mNumWeights))
                return "bone weight list";
    }
    if (!present(scene.mMaterials, scene.mNumMaterials))
        return "material";
    for (unsigned i = 0; i != scene.mNumMaterials; ++i)
        if (!present(scene.mMaterials[i]->mProperties, scene.mMaterials[i]->mNumProperties))
            return "material property";
    if (!present(scene.mAnimations, scene.mNumAnimations))
        return "animation";
    for (unsigned i = 0; i != scene.mNumAnimations; ++i) {
        const aiAnimation& animation = *scene.mAnimations[i];
        if (!present(animation.mChannels, animation.mNumChannels))
            return "animation channel";
        for (unsigned j = 0; j != animation.mNumChannels; ++j) {
            const aiNodeAnim& channel = *animation.mChannels[j];
            if (!present(channel.mPositionKeys, channel.mNumPositionKeys) ||
                !present(channel.mRotationKeys, channel.mNumRotationKeys) ||
                !present(channel.mScalingKeys, channel.mNumScalingKeys))
                return "animation key list";
        }
    }
    if (!present(scene.mTextures, scene.mNumTextures))
        return "embedded texture";
    for (unsigned i = 0; i != scene.mNumTextures; ++i)
        if (!scene.mTextures[i]->pcData)
            return "embedded texture data";
    if (!present(scene.mCameras, scene.mNumCameras))
        return "camera";
    if (!present(scene.mLights, scene.mNumLights))
        return "light";
    return nullptr;
}

/* Keys of one kind of an animation channel as seconds and values, ascending */
template<class V>
struct Keys {
    std::vector<float> times;
    std::vector<V> values;
};

template<class V, class Key, class Convert>
bool convertKeys(const Key* keys, unsigned count, double ticksPerSecond, const char* kind,
                 const std::string& node, Convert convert, Keys<V>& out) {
    for (unsigned i = 0; i != count; ++i) {
        const double seconds = keys[i].mTime / ticksPerSecond;
        /* Also false for NaN; a larger double would not convert to a float */
        if (!(std::abs(seconds) <= double(std::numeric_limits<float>::max()))) {
            Error{} << "Trade::AssimpImporter::animation():" << kind << "key" << i << "of node"
                    << node << "has time" << seconds;
            return false;
        }
        const float time = float(seconds);
        if (!out.times.empty() && time <= out.times.back()) {
            if (time < out.times.back()) {
                Error{} << "Trade::AssimpImporter::animation():" << kind << "keys of node" << node
                        << "are not ascending at key" << i;
                return false;
            }
            /* The same time twice: the later key wins */
            out.values.back() = convert(keys[i].mValue);
            continue;
        }
        out.times.push_back(time);
        out.values.push_back(convert(keys[i].mValue));
    }
    return true;
}

/* A track before its keys and values are placed in the animation's data block */
struct PendingTrack {
    AnimationTrackTarget target;
    std::uint64_t object;
    Animation::Extrapolation before, after;
    std::vector<float> times;
    /* Values of the target's type, as bytes */
    std::vector<char> values;
};

template<class V>
void addTrack(std::vector<PendingTrack>& tracks, AnimationTrackTarget target, std::uint64_t object,
              const aiNodeAnim& channel, Keys<V>&& keys) {
    if (keys.times.empty())
        return;
    std::vector<char> values(keys.values.size() * sizeof(V));
    std::memcpy(values.data(), keys.values.data(), values.size());
    tracks.push_back({target, object, toExtrapolation(channel.mPreState),
                      toExtrapolation(channel.mPostState), std::move(keys.times),
                      std::move(values)});
}

/* Assimp reports failures as a null scene, but allocations deep inside it can still throw */
template<class Read>
const aiScene* readScene(Assimp::Importer& importer, const char* function, Read read) {
    const char* reason;
    try {
        const aiScene* scene = read();
        /* Skeletons with animations alone (BVH) have no meshes, which validation rejects in a
           scene not marked incomplete. Such files are wanted for their animations, and
           marking them beats the meshes assimp would otherwise make up to show the bones. */
        if (scene && !scene->mNumMeshes &&
            (scene->mNumAnimations || scene->mNumCameras || scene->mNumLights))
            const_cast<aiScene*>(scene)->mFlags |= AI_SCENE_FLAGS_INCOMPLETE;
        if (scene)
            scene = importer.ApplyPostProcessing(PostProcessing);
        if (scene)
            return scene;
        reason = importer.GetErrorString();
    } catch (const std::exception& e) {
        Error{} << "Trade::AssimpImporter::" << Debug::nospace << function << Debug::nospace
                << "():" << e.what();
        return nullptr;
    }
    Error{} << "Trade::AssimpImporter::" << Debug::nospace << function << Debug::nospace
            << "():" << (reason && *reason ? reason : "unknown error");
    return nullptr;
}

std::unique_ptr<Assimp::Importer> makeImporter() {
    auto importer = std::make_unique<Assimp::Importer>();
    /* Pivots would come as extra nodes between an object and its parent */
    importer->SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    /* Files of bones alone would otherwise get made-up meshes showing them */
    importer->SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    return importer;
}

} // namespace

struct AssimpImporter::State {
    /* A new one for every file: some of assimp's readers keep state from the previous one,
       and crash on it */
    std::unique_ptr<Assimp::Importer> importer;
    const aiScene* scene{};
    /* Where external images are looked up; none for data opened from memory */
    std::optional<std::filesystem::path> directory;

    /* Nodes in object order, with the parent of each */
    std::vector<const aiNode*> nodes;
    std::vector<std::int64_t> parents;
    std::unordered_map<std::string, std::uint32_t> objectsByName;

    /* The skin of each mesh, -1 for meshes without bones, and the mesh of each skin */
    std::vector<std::int32_t> meshSkins;
    std::vector<std::uint32_t> skinMeshes;

    struct Image {
        std::string reference;
        /* An index into the scene's textures, ExternalFile or MissingEmbedded */
        std::int64_t embedded;
    };
    std::vector<Image> images;
    struct Texture {
        std::uint32_t image;
        std::array<SamplerWrapping, 3> wrapping;
    };
    std::vector<Texture> textures;
    struct SlotTexture {
        std::int32_t texture{-1};
        std::uint32_t coordinates{};
    };
    std::vector<std::array<SlotTexture, TextureSlotCount>> materialTextures;

    /* An object id for a name the file uses to refer to a node */
    std::optional<std::uint32_t> object(const aiString& name) const {
        const auto found = objectsByName.find(toString(name));
        return found == objectsByName.end() ? std::nullopt : std::optional{found->second};
    }
};

AssimpImporter::AssimpImporter() : _state{std::make_unique<State>()} {}

AssimpImporter::~AssimpImporter() = default;

bool AssimpImporter::canOpen(std::string_view extension) {
    if (extension.starts_with('.'))
        extension.remove_prefix(1);
    std::string lowercase{extension};
    for (char& c : lowercase)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lowercase.empty() || lowercase == "gltf" || lowercase == "glb")
        return false;

    /* "*.3ds;*.obj;…", asked once: assimp registers all its readers for every importer */
    static const std::unordered_set<std::string> extensions = [] {
        std::string list;
        Assimp::Importer{}.GetExtensionList(list);
        std::unordered_set<std::string> result;
        for (std::size_t begin = 0; begin < list.size();) {
            std::size_t end = list.find(';', begin);
            if (end == std::string::npos)
                end = list.size();
            std::string_view entry{list.data() + begin, end - begin};
            if (entry.starts_with("*."))
                entry.remove_prefix(2);
            result.emplace(entry);
            begin = end + 1;
        }
        return result;
    }();
    return extensions.contains(lowercase);
}

bool AssimpImporter::doIsOpened() const {
    return _state->scene != nullptr;
}

bool AssimpImporter::doOpenFile(const std::filesystem::path& filename) {
    _state->importer = makeImporter();
    _state->scene = readScene(*_state->importer, "openFile",
                              [&] { return _state->importer->ReadFile(filename.string(), 0); });
    if (!_state->scene) {
        _state->importer.reset();
        return false;
    }
    _state->directory = filename.parent_path();
    return finishOpening("openFile");
}

bool AssimpImporter::doOpenData(std::span<const char> data) {
    _state->importer = makeImporter();
    _state->importer->SetIOHandler(new NoFileSystem);
    _state->scene = readScene(*_state->importer, "openData", [&] {
        return _state->importer->ReadFileFromMemory(data.data(), data.size(), 0);
    });
    if (!_state->scene) {
        _state->importer.reset();
        return false;
    }
    return finishOpening("openData");
}

bool AssimpImporter::finishOpening(const char* function) {
    State& state = *_state;
    const aiScene& scene = *state.scene;
    const auto fail = [&](auto&&... message) {
        Error error;
        error << "Trade::AssimpImporter::" << Debug::nospace << function << Debug::nospace << "():";
        (error << ... << message);
        doClose();
        return false;
    };

    if (const char* what = nullPointer(scene))
        return fail("assimp returned a null", what);
    if (!scene.mRootNode)
        return fail("the file has no nodes");

    /* Pre-order by an explicit stack, as hierarchies can be deeper than the call stack */
    std::vector<std::pair<const aiNode*, std::int64_t>> stack{{scene.mRootNode, -1}};
    std::unordered_set<const aiNode*> visited;
    while (!stack.empty()) {
        const auto [node, parent] = stack.back();
        stack.pop_back();
        if (!node || !present(node->mChildren, node->mNumChildren) ||
            !present(node->mMeshes, node->mNumMeshes))
            return fail("assimp returned a null node");
        if (!visited.insert(node).second)
            return fail("the node hierarchy is not a tree");
        const auto id = std::int64_t(state.nodes.size());
        state.nodes.push_back(node);
        state.parents.push_back(parent);
        for (unsigned i = node->mNumChildren; i-- != 0;)
            stack.emplace_back(node->mChildren[i], id);
    }
    for (std::uint32_t id = 0; id != state.nodes.size(); ++id)
        if (const std::string name = toString(state.nodes[id]->mName); !name.empty())
            state.objectsByName.try_emplace(name, id);

    state.meshSkins.assign(scene.mNumMeshes, -1);
    for (unsigned i = 0; i != scene.mNumMeshes; ++i)
        if (scene.mMeshes[i]->mNumBones) {
            state.meshSkins[i] = std::int32_t(state.skinMeshes.size());
            state.skinMeshes.push_back(i);
        }

    std::map<std::string, std::uint32_t, std::less<>> imageIds;
    std::map<std::tuple<std::string, std::array<SamplerWrapping, 3>>, std::uint32_t> textureIds;
    state.materialTextures.resize(scene.mNumMaterials);
    for (unsigned i = 0; i != scene.mNumMaterials; ++i)
        for (std::size_t slot = 0; slot != TextureSlotCount; ++slot) {
            std::optional<TextureReference> reference =
                textureReference(*scene.mMaterials[i], TextureSlots[slot]);
            if (!reference)
                continue;
            const auto [image, newImage] =
                imageIds.try_emplace(reference->path, state.images.size());
            if (newImage)
                state.images.push_back({reference->path, embeddedTexture(scene, reference->path)});
            const auto [texture, newTexture] = textureIds.try_emplace(
                std::tuple{reference->path, reference->wrapping}, state.textures.size());
            if (newTexture)
                state.textures.push_back({image->second, reference->wrapping});
            state.materialTextures[i][slot] = {std::int32_t(texture->second),
                                               reference->coordinates};
        }
    return true;
}

void AssimpImporter::doClose() {
    State& state = *_state;
    state.importer.reset();
    state.scene = nullptr;
    state.directory.reset();
    state.nodes.clear();
    state.parents.clear();
    state.objectsByName.clear();
    state.meshSkins.clear();
    state.skinMeshes.clear();
    state.images.clear();
    state.textures.clear();
    state.materialTextures.clear();
}

std::optional<std::uint32_t> AssimpImporter::doDefaultScene() const {
    return 0;
}

std::uint32_t AssimpImporter::doSceneCount() const {
    return 1;
}

std::string AssimpImporter::doSceneName(std::uint32_t) const {
    return toString(_state->scene->mName);
}

std::optional<SceneData> AssimpImporter::doScene(std::uint32_t) {
    const State& state = *_state;
    const aiScene& scene = *state.scene;
    SceneFields fields;
    fields.parents.reserve(state.nodes.size());
    fields.matrices.reserve(state.nodes.size());
    for (std::uint64_t id = 0; id != state.nodes.size(); ++id) {
        const aiNode& node = *state.nodes[id];
        fields.parents.push_back({id, state.parents[id]});
        fields.matrices.push_back({id, toMatrix(node.mTransformation)});
        for (unsigned i = 0; i != node.mNumMeshes; ++i) {
            const unsigned mesh = node.mMeshes[i];
            if (mesh >= scene.mNumMeshes) {
                Error{} << "Trade::AssimpImporter::scene(): object" << id << "references mesh"
                        << mesh << "of" << scene.mNumMeshes;
                return std::nullopt;
            }
            /* A material index out of range leaves the mesh without one */
            const unsigned material = scene.mMeshes[mesh]->mMaterialIndex;
            fields.meshesMaterials.push_back(
                {id, mesh, material < scene.mNumMaterials ? std::int32_t(material) : -1});
            if (state.meshSkins[mesh] != -1)
                fields.skins.push_back({id, std::uint32_t(state.meshSkins[mesh])});
        }
    }
    /* Cameras and lights whose name no node has stay unplaced */
    for (unsigned i = 0; i != scene.mNumCameras; ++i)
        if (const std::optional<std::uint32_t> object = state.object(scene.mCameras[i]->mName))
            fields.cameras.push_back({*object, i});
    for (unsigned i = 0; i != scene.mNumLights; ++i)
        if (const std::optional<std::uint32_t> object = state.object(scene.mLights[i]->mName))
            fields.lights.push_back({*object, i});
    return SceneData{state.nodes.size(), true, std::move(fields)};
}

std::uint64_t AssimpImporter::doObjectCount() const {
    return _state->nodes.size();
}

std::string AssimpImporter::doObjectName(std::uint64_t id) const {
    return toString(_state->nodes[id]->mName);
}

std::uint32_t AssimpImporter::doImage2DCount() const {
    return std::uint32_t(_state->images.size());
}

std::string AssimpImporter::doImage2DName(std::uint32_t id) const {
    return _state->images[id].reference;
}

std::optional<ImageData2D> AssimpImporter::doImage2D(std::uint32_t id) {
    const State& state = *_state;
    const State::Image& image = state.images[id];
    if (image.embedded == MissingEmbedded) {
        Error{} << "Trade::AssimpImporter::image2D(): embedded texture" << image.reference
                << "doesn't exist";
        return std::nullopt;
    }

    if (image.embedded != ExternalFile) {
        const aiTexture& texture = *state.scene->mTextures[image.embedded];
        const std::string what = "embedded texture " + image.reference;
        /* A height of zero marks a file's bytes, mWidth long */
        if (texture.mHeight == 0)
            return decodeImage({reinterpret_cast<const char*>(texture.pcData), texture.mWidth},
                               what);

        const std::size_t width = texture.mWidth, height = texture.mHeight;
        if (width * height > MaxImageBytes / 4) {
            Error{} << "Trade::AssimpImporter::image2D():" << what << "has an unsupported size of"
                    << width << "x" << height << "pixels";
            return std::nullopt;
        }
        /* BGRA texels, first row at the top; images here have it at the bottom */
        std::vector<char> pixels(width * height * 4);
        for (std::size_t y = 0; y != height; ++y)
            for (std::size_t x = 0; x != width; ++x) {
                const aiTexel& texel = texture.pcData[(height - 1 - y) * width + x];
                char* pixel = pixels.data() + (y * width + x) * 4;
                pixel[0] = char(texel.r);
                pixel[1] = char(texel.g);
                pixel[2] = char(texel.b);
                pixel[3] = char(texel.a);
            }
        return ImageData2D{
            Image2D{PixelFormat::RGBA8Unorm, Vector2i{int(width), int(height)}, std::move(pixels)}};
    }

    /* Exporters on Windows write backslashes; Blender starts paths relative to the file with
       two slashes */
    std::string reference = image.reference;
    std::replace(reference.begin(), reference.end(), '\\', '/');
    if (reference.starts_with("//"))
        reference.erase(0, 2);
    std::filesystem::path path{reference};
    /* A drive letter can't be found here, but the message is clearer without the directory */
    const bool windowsAbsolute = reference.size() > 2 &&
                                 std::isalpha(static_cast<unsigned char>(reference[0])) &&
                                 reference[1] == ':' && reference[2] == '/';
    if (path.is_relative() && !windowsAbsolute) {
        if (!state.directory) {
            Error{} << "Trade::AssimpImporter::image2D(): can't load" << image.reference
                    << "relative to a file opened from memory";
            return std::nullopt;
        }
        path = *state.directory / path;
    }
    /* A directory opens as a stream too */
    std::error_code error;
    std::ifstream file;
    if (std::filesystem::is_regular_file(path, error))
        file.open(path, std::ios::binary);
    const std::vector<char> data{std::istreambuf_iterator<char>{file}, {}};
    if (!file.is_open() || file.bad()) {
        Error{} << "Trade::AssimpImporter::image2D(): cannot open" << path.string();
        return std::nullopt;
    }
    return decodeImage(data, path.string());
}

std::uint32_t AssimpImporter::doTextureCount() const {
    return std::uint32_t(_state->textures.size());
}

std::string AssimpImporter::doTextureName(std::uint32_t id) const {
    return _state->images[_state->textures[id].image].reference;
}

std::optional<TextureData> AssimpImporter::doTexture(std::uint32_t id) {
    const State::Texture& texture = _state->textures[id];
    return TextureData{TextureType::Texture2D, SamplerFilter::Linear, SamplerFilter::Linear,
                       SamplerMipmap::Linear,  texture.wrapping,      texture.image};
}

std::uint32_t AssimpImporter::doMaterialCount() const {
    return _state->scene->mNumMaterials;
}

std::string AssimpImporter::doMaterialName(std::uint32_t id) const {
    aiString name;
    return _state->scene->mMaterials[id]->Get(AI_MATKEY_NAME, name) == AI_SUCCESS ? toString(name)
                                                                                  : std::string{};
}

std::optional<MaterialData> AssimpImporter::doMaterial(std::uint32_t id) {
    const aiMaterial& material = *_state->scene->mMaterials[id];
    std::vector<MaterialAttributeData> attributes;
    MaterialTypes types = MaterialType::Phong;
    const auto add = [&](MaterialAttribute name, MaterialAttributeValue value) {
        attributes.push_back({std::string{materialAttributeName(name)}, std::move(value)});
    };

    /* Opacity goes into the alpha of the colors it applies to */
    float opacity = 1.0f;
    material.Get(AI_MATKEY_OPACITY, opacity);
    const auto color = [&](const char* key, unsigned type, unsigned index, MaterialAttribute name,
                           float alpha) {
        aiColor4D value;
        if (material.Get(key, type, index, value) != AI_SUCCESS)
            return false;
        add(name, Vector4{value.r, value.g, value.b, value.a * alpha});
        return true;
    };
    const auto scalar = [&](const char* key, unsigned type, unsigned index,
                            MaterialAttribute name) {
        float value;
        if (material.Get(key, type, index, value) != AI_SUCCESS)
            return false;
        add(name, value);
        return true;
    };

    color(AI_MATKEY_COLOR_AMBIENT, MaterialAttribute::AmbientColor, 1.0f);
    color(AI_MATKEY_COLOR_DIFFUSE, MaterialAttribute::DiffuseColor, opacity);
    color(AI_MATKEY_COLOR_SPECULAR, MaterialAttribute::SpecularColor, 1.0f);
    scalar(AI_MATKEY_SHININESS, MaterialAttribute::Shininess);
    if (aiColor3D emissive; material.Get(AI_MATKEY_COLOR_EMISSIVE, emissive) == AI_SUCCESS)
        add(MaterialAttribute::EmissiveColor, Vector3{emissive.r, emissive.g, emissive.b});

    /* Assimp derives a roughness for plain FBX materials too; base color and metalness are
       what make a metallic-roughness one */
    bool metallicRoughness = color(AI_MATKEY_BASE_COLOR, MaterialAttribute::BaseColor, opacity);
    metallicRoughness |= scalar(AI_MATKEY_METALLIC_FACTOR, MaterialAttribute::Metalness);
    scalar(AI_MATKEY_ROUGHNESS_FACTOR, MaterialAttribute::Roughness);
    if (scalar(AI_MATKEY_GLOSSINESS_FACTOR, MaterialAttribute::Glossiness))
        types |= MaterialType::PbrSpecularGlossiness;

    if (int twoSided; material.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS)
        add(MaterialAttribute::DoubleSided, twoSided != 0);
    if (opacity < 1.0f)
        add(MaterialAttribute::AlphaBlend, true);

    for (std::size_t slot = 0; slot != TextureSlotCount; ++slot) {
        const State::SlotTexture& texture = _state->materialTextures[id][slot];
        if (texture.texture == -1)
            continue;
        add(TextureSlots[slot].texture, std::uint32_t(texture.texture));
        attributes.push_back({TextureSlots[slot].coordinates, texture.coordinates});
        metallicRoughness |= TextureSlots[slot].texture == MaterialAttribute::BaseColorTexture;
    }
    if (metallicRoughness)
        types |= MaterialType::PbrMetallicRoughness;
    return MaterialData{types, std::move(attributes)};
}

std::uint32_t AssimpImporter::doMeshCount() const {
    return _state->scene->mNumMeshes;
}

std::string AssimpImporter::doMeshName(std::uint32_t id) const {
    return toString(_state->scene->mMeshes[id]->mName);
}

std::optional<MeshData> AssimpImporter::doMesh(std::uint32_t id) {
    const aiMesh& mesh = *_state->scene->mMeshes[id];
    const std::uint32_t vertexCount = mesh.mNumVertices;

    MeshPrimitive primitive;
    unsigned faceSize;
    switch (mesh.mPrimitiveTypes & ~unsigned(aiPrimitiveType_NGONEncodingFlag)) {
    case aiPrimitiveType_POINT:
        primitive = MeshPrimitive::Points;
        faceSize = 1;
        break;
    case aiPrimitiveType_LINE:
        primitive = MeshPrimitive::Lines;
        faceSize = 2;
        break;
    case aiPrimitiveType_TRIANGLE:
        primitive = MeshPrimitive::Triangles;
        faceSize = 3;
        break;
    default:
        Error{} << "Trade::AssimpImporter::mesh(): mesh" << id << "has primitive types"
                << fmt::format("{:#x}", mesh.mPrimitiveTypes) << Debug::nospace
                << ", expected exactly one of points, lines or triangles";
        return std::nullopt;
    }
    if (vertexCount && !mesh.mVertices) {
        Error{} << "Trade::AssimpImporter::mesh(): mesh" << id << "has no positions";
        return std::nullopt;
    }

    if (std::uint64_t(mesh.mNumFaces) * faceSize > std::numeric_limits<std::uint32_t>::max()) {
        Error{} << "Trade::AssimpImporter::mesh(): mesh" << id << "has too many faces";
        return std::nullopt;
    }
    std::vector<char> indexData(std::size_t(mesh.mNumFaces) * faceSize * sizeof(std::uint32_t));
    auto* indices = reinterpret_cast<std::uint32_t*>(indexData.data());
    for (unsigned i = 0; i != mesh.mNumFaces; ++i) {
        const aiFace& face = mesh.mFaces[i];
        if (face.mNumIndices != faceSize || !face.mIndices) {
            Error{} << "Trade::AssimpImporter::mesh(): face" << i << "of mesh" << id << "has"
                    << (face.mIndices ? face.mNumIndices : 0) << "indices, expected" << faceSize;
            return std::nullopt;
        }
        for (unsigned j = 0; j != faceSize; ++j) {
            if (face.mIndices[j] >= vertexCount) {
                Error{} << "Trade::AssimpImporter::mesh(): index" << face.mIndices[j] << "of face"
                        << i << "of mesh" << id << "is out of range for" << vertexCount
                        << "vertices";
                return std::nullopt;
            }
            *indices++ = face.mIndices[j];
        }
    }

    /* Influences per vertex decide the size of the skinning arrays */
    std::size_t skinningArraySize = 0;
    std::vector<std::uint32_t> influences;
    if (mesh.mNumBones) {
        if (mesh.mNumBones > std::numeric_limits<std::uint16_t>::max() + 1u) {
            Error{} << "Trade::AssimpImporter::mesh(): mesh" << id << "has" << mesh.mNumBones
                    << "bones, joint ids go up to 65535";
            return std::nullopt;
        }
        influences.assign(vertexCount, 0);
        std::uint32_t mostInfluences = 0;
        for (unsigned bone = 0; bone != mesh.mNumBones; ++bone)
            for (unsigned i = 0; i != mesh.mBones[bone]->mNumWeights; ++i) {
                const unsigned vertex = mesh.mBones[bone]->mWeights[i].mVertexId;
                if (vertex >= vertexCount) {
                    Error{} << "Trade::AssimpImporter::mesh(): bone" << bone << "of mesh" << id
                            << "weights vertex" << vertex << "of" << vertexCount;
                    return std::nullopt;
                }
                mostInfluences = std::max(mostInfluences, ++influences[vertex]);
            }
        skinningArraySize = std::max<std::size_t>((mostInfluences + 3) / 4 * 4, 4);
        const std::size_t bytes =
            skinningArraySize * (sizeof(std::uint16_t) + sizeof(float)) * vertexCount;
        /* The weights' stride has to fit into 16 bits as well */
        if (skinningArraySize * sizeof(float) >
                std::size_t(std::numeric_limits<std::int16_t>::max()) ||
            bytes > MaxSkinningBytes) {
            Error{} << "Trade::AssimpImporter::mesh(): mesh" << id << "has up to" << mostInfluences
                    << "bone influences per vertex, too many for its" << vertexCount << "vertices";
            return std::nullopt;
        }
    }

    /* Planar layout: each attribute's values one after another */
    struct Attribute {
        MeshAttribute name;
        VertexFormat format;
        std::size_t elementSize;
        std::uint16_t arraySize;
    };
    std::vector<Attribute> layout;
    layout.push_back({MeshAttribute::Position, VertexFormat::Vector3, sizeof(Vector3), 0});
    if (mesh.mNormals)
        layout.push_back({MeshAttribute::Normal, VertexFormat::Vector3, sizeof(Vector3), 0});
    if (mesh.mTangents)
        layout.push_back({MeshAttribute::Tangent, VertexFormat::Vector3, sizeof(Vector3), 0});
    if (mesh.mBitangents)
        layout.push_back({MeshAttribute::Bitangent, VertexFormat::Vector3, sizeof(Vector3), 0});
    for (const aiVector3D* coordinates : mesh.mTextureCoords)
        if (coordinates)
            layout.push_back(
                {MeshAttribute::TextureCoordinates, VertexFormat::Vector2, sizeof(Vector2), 0});
    for (const aiColor4D* colors : mesh.mColors)
        if (colors)
            layout.push_back({MeshAttribute::Color, VertexFormat::Vector4, sizeof(Vector4), 0});
    /* Joint ids before weights keeps the floats four-byte aligned, the arrays being multiples
       of four long */
    if (skinningArraySize) {
        layout.push_back({MeshAttribute::JointIds, VertexFormat::UnsignedShort,
                          skinningArraySize * sizeof(std::uint16_t),
                          std::uint16_t(skinningArraySize)});
        layout.push_back({MeshAttribute::Weights, VertexFormat::Float,
                          skinningArraySize * sizeof(float), std::uint16_t(skinningArraySize)});
    }

    std::size_t vertexBytes = 0;
    for (const Attribute& attribute : layout)
        vertexBytes += attribute.elementSize * vertexCount;
    std::vector<char> vertexData(vertexBytes);
    std::vector<MeshAttributeData> attributes;
    std::vector<char*> destinations;
    std::size_t offset = 0;
    for (const Attribute& attribute : layout) {
        attributes.emplace_back(attribute.name, attribute.format, offset, vertexCount,
                                std::ptrdiff_t(attribute.elementSize), attribute.arraySize);
        destinations.push_back(vertexData.data() + offset);
        offset += attribute.elementSize * vertexCount;
    }

    std::size_t next = 0;
    const auto copyVectors = [&](const aiVector3D* source) {
        auto* destination = reinterpret_cast<Vector3*>(destinations[next++]);
        for (std::uint32_t i = 0; i != vertexCount; ++i)
            destination[i] = toVector(source[i]);
    };
    copyVectors(mesh.mVertices);
    for (const aiVector3D* source : {mesh.mNormals, mesh.mTangents, mesh.mBitangents})
        if (source)
            copyVectors(source);
    for (unsigned set = 0; set != AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set) {
        const aiVector3D* source = mesh.mTextureCoords[set];
        if (!source)
            continue;
        /* Assimp leaves what one-dimensional coordinates don't have undefined */
        const bool oneDimensional = mesh.mNumUVComponents[set] == 1;
        auto* destination = reinterpret_cast<Vector2*>(destinations[next++]);
        for (std::uint32_t i = 0; i != vertexCount; ++i)
            destination[i] = {source[i].x, oneDimensional ? 0.0f : source[i].y};
    }
    for (const aiColor4D* source : mesh.mColors) {
        if (!source)
            continue;
        auto* destination = reinterpret_cast<Vector4*>(destinations[next++]);
        for (std::uint32_t i = 0; i != vertexCount; ++i)
            destination[i] = {source[i].r, source[i].g, source[i].b, source[i].a};
    }
    if (skinningArraySize) {
        auto* jointIds = reinterpret_cast<std::uint16_t*>(destinations[next++]);
        auto* weights = reinterpret_cast<float*>(destinations[next++]);
        std::fill(influences.begin(), influences.end(), 0);
        for (unsigned bone = 0; bone != mesh.mNumBones; ++bone)
            for (unsigned i = 0; i != mesh.mBones[bone]->mNumWeights; ++i) {
                const aiVertexWeight& weight = mesh.mBones[bone]->mWeights[i];
                const std::size_t slot =
                    weight.mVertexId * skinningArraySize + influences[weight.mVertexId]++;
                jointIds[slot] = std::uint16_t(bone);
                weights[slot] = weight.mWeight;
            }
    }

    const auto indexCount = std::uint32_t(indexData.size() / sizeof(std::uint32_t));
    return MeshData{primitive,
                    std::move(indexData),
                    MeshIndexData{MeshIndexType::UnsignedInt, 0, indexCount},
                    std::move(vertexData),
                    std::move(attributes),
                    vertexCount};
}

std::uint32_t AssimpImporter::doSkin3DCount() const {
    return std::uint32_t(_state->skinMeshes.size());
}

std::string AssimpImporter::doSkin3DName(std::uint32_t id) const {
    return toString(_state->scene->mMeshes[_state->skinMeshes[id]]->mName);
}

std::optional<SkinData3D> AssimpImporter::doSkin3D(std::uint32_t id) {
    const aiMesh& mesh = *_state->scene->mMeshes[_state->skinMeshes[id]];
    std::vector<std::uint32_t> joints;
    std::vector<Matrix4> inverseBindMatrices;
    joints.reserve(mesh.mNumBones);
    inverseBindMatrices.reserve(mesh.mNumBones);
    for (unsigned i = 0; i != mesh.mNumBones; ++i) {
        const aiBone& bone = *mesh.mBones[i];
        const std::optional<std::uint32_t> object = _state->object(bone.mName);
        if (!object) {
            Error{} << "Trade::AssimpImporter::skin3D(): no node is named after bone"
                    << toString(bone.mName) << "of skin" << id;
            return std::nullopt;
        }
        joints.push_back(*object);
        inverseBindMatrices.push_back(toMatrix(bone.mOffsetMatrix));
    }
    return SkinData3D{std::move(joints), std::move(inverseBindMatrices)};
}

std::uint32_t AssimpImporter::doCameraCount() const {
    return _state->scene->mNumCameras;
}

std::string AssimpImporter::doCameraName(std::uint32_t id) const {
    return toString(_state->scene->mCameras[id]->mName);
}

std::optional<CameraData> AssimpImporter::doCamera(std::uint32_t id) {
    const aiCamera& camera = *_state->scene->mCameras[id];
    /* Zero when the file doesn't say */
    const float aspectRatio =
        camera.mAspect > 0.0f && std::isfinite(camera.mAspect) ? camera.mAspect : 1.0f;
    if (camera.mOrthographicWidth > 0.0f) {
        const float width = 2.0f * camera.mOrthographicWidth;
        return CameraData{CameraType::Orthographic3D, Vector2{width, width / aspectRatio},
                          camera.mClipPlaneNear, camera.mClipPlaneFar};
    }
    return CameraData{Rad{camera.mHorizontalFOV}, aspectRatio, camera.mClipPlaneNear,
                      camera.mClipPlaneFar};
}

std::uint32_t AssimpImporter::doLightCount() const {
    return _state->scene->mNumLights;
}

std::string AssimpImporter::doLightName(std::uint32_t id) const {
    return toString(_state->scene->mLights[id]->mName);
}

std::optional<LightData> AssimpImporter::doLight(std::uint32_t id) {
    const aiLight& light = *_state->scene->mLights[id];
    LightType type;
    switch (light.mType) {
    case aiLightSource_DIRECTIONAL:
        type = LightType::Directional;
        break;
    case aiLightSource_POINT:
        type = LightType::Point;
        break;
    case aiLightSource_SPOT:
        type = LightType::Spot;
        break;
    case aiLightSource_AMBIENT:
        type = LightType::Ambient;
        break;
    case aiLightSource_AREA:
        Error{} << "Trade::AssimpImporter::light(): light" << id
                << "is an area light, which has no equivalent";
        return std::nullopt;
    default:
        Error{} << "Trade::AssimpImporter::light(): light" << id << "has unknown type"
                << int(light.mType);
        return std::nullopt;
    }

    LightData::Properties properties;
    /* Assimp multiplies the intensity into the color; the brightest channel takes it back out */
    const aiColor3D& color = type == LightType::Ambient ? light.mColorAmbient : light.mColorDiffuse;
    properties.color = Color3{color.r, color.g, color.b};
    const float intensity = std::max({color.r, color.g, color.b});
    if (intensity > 0.0f && std::isfinite(intensity)) {
        properties.color /= intensity;
        properties.intensity = intensity;
    }

    if (type == LightType::Point || type == LightType::Spot)
        properties.attenuation = Vector3{light.mAttenuationConstant, light.mAttenuationLinear,
                                         light.mAttenuationQuadratic};
    else
        properties.attenuation = Vector3{1.0f, 0.0f, 0.0f};

    if (type == LightType::Spot) {
        /* A full cone wider than a half space means nothing more; NaN keeps the defaults */
        const float pi = glm::pi<float>();
        if (light.mAngleOuterCone >= 0.0f)
            properties.outerConeAngle = Rad{std::min(light.mAngleOuterCone, pi)};
        if (light.mAngleInnerCone >= 0.0f)
            properties.innerConeAngle =
                Rad{std::min(light.mAngleInnerCone, float(properties.outerConeAngle))};
        else
            properties.innerConeAngle = Rad{0.0f};
    }
    return LightData{type, properties};
}

std::uint32_t AssimpImporter::doAnimationCount() const {
    return _state->scene->mNumAnimations;
}

std::string AssimpImporter::doAnimationName(std::uint32_t id) const {
    return toString(_state->scene->mAnimations[id]->mName);
}

std::optional<AnimationData> AssimpImporter::doAnimation(std::uint32_t id) {
    const aiAnimation& animation = *_state->scene->mAnimations[id];
    /* Zero when the file doesn't say; assimp's documented default then */
    double ticksPerSecond = animation.mTicksPerSecond == 0.0 ? 25.0 : animation.mTicksPerSecond;
    if (!(ticksPerSecond > 0.0) || !std::isfinite(ticksPerSecond)) {
        Error{} << "Trade::AssimpImporter::animation(): animation" << id << "has"
                << animation.mTicksPerSecond << "ticks per second";
        return std::nullopt;
    }

    /* Vertex and morph animations have no track type here and are left out */
    std::vector<PendingTrack> tracks;
    for (unsigned i = 0; i != animation.mNumChannels; ++i) {
        const aiNodeAnim& channel = *animation.mChannels[i];
        const std::string node = toString(channel.mNodeName);
        const std::optional<std::uint32_t> object = _state->object(channel.mNodeName);
        if (!object) {
            Error{} << "Trade::AssimpImporter::animation(): no node is named" << node
                    << "for channel" << i << "of animation" << id;
            return std::nullopt;
        }
        Keys<Vector3> translations, scalings;
        Keys<Quaternion> rotations;
        if (!convertKeys(channel.mPositionKeys, channel.mNumPositionKeys, ticksPerSecond,
                         "translation", node, toVector, translations) ||
            !convertKeys(channel.mRotationKeys, channel.mNumRotationKeys, ticksPerSecond,
                         "rotation", node, toQuaternion, rotations) ||
            !convertKeys(channel.mScalingKeys, channel.mNumScalingKeys, ticksPerSecond, "scaling",
                         node, toVector, scalings))
            return std::nullopt;
        addTrack(tracks, AnimationTrackTarget::Translation3D, *object, channel,
                 std::move(translations));
        addTrack(tracks, AnimationTrackTarget::Rotation3D, *object, channel, std::move(rotations));
        addTrack(tracks, AnimationTrackTarget::Scaling3D, *object, channel, std::move(scalings));
    }

    /* One block of every track's keys followed by its values, all of them floats */
    std::size_t size = 0;
    for (const PendingTrack& track : tracks)
        size += track.times.size() * sizeof(float) + track.values.size();
    std::vector<char> data(size);
    std::vector<AnimationTrackData> trackData;
    trackData.reserve(tracks.size());
    char* out = data.data();
    for (const PendingTrack& track : tracks) {
        const std::size_t count = track.times.size();
        std::memcpy(out, track.times.data(), count * sizeof(float));
        const StridedArrayView1D<const float> keys{reinterpret_cast<const float*>(out), count,
                                                   sizeof(float)};
        out += count * sizeof(float);
        std::memcpy(out, track.values.data(), track.values.size());
        const auto interpolation = Animation::Interpolation::Linear;
        if (track.target == AnimationTrackTarget::Rotation3D)
            trackData.emplace_back(
                track.target, track.object, keys,
                StridedArrayView1D<const Quaternion>{reinterpret_cast<const Quaternion*>(out),
                                                     count, sizeof(Quaternion)},
                interpolation, track.before, track.after);
        else
            trackData.emplace_back(
                track.target, track.object, keys,
                StridedArrayView1D<const Vector3>{reinterpret_cast<const Vector3*>(out), count,
                                                  sizeof(Vector3)},
                interpolation, track.before, track.after);
        out += track.values.size();
    }
    return AnimationData{std::move(data), std::move(trackData)};
}

} // namespace ZarvikEngine::Trade
