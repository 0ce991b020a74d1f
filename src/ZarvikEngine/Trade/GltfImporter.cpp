#include "ZarvikEngine/Trade/GltfImporter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <string_view>
#include <tuple>
#include <utility>

#include <tiny_gltf.h>

#include "ZarvikEngine/Tools/MeshAttributeConversion.h"
#include "ZarvikEngine/Trade/ImageDecoding.h"

namespace ZarvikEngine::Trade {

namespace {

/* tinygltf turns extras and extensions into values recursively, so JSON nested deeper than
   this is refused before it gets there */
constexpr std::size_t MaxJsonDepth = 256;

/* One mesh or animation may take this much memory once loaded, or four times the file's
   buffers if that is more. Counts in a file (of accessors without a buffer view, of sparse
   ones, of accessors used many times, of splines to resample) could otherwise ask for any
   amount. */
constexpr std::size_t MinOutputLimit = std::size_t{64} << 20;

/* How far the linear tracks cubic splines are resampled into may be from the spline, relative
   to the magnitude of its values or absolute below 1 */
constexpr double SplineTolerance = 1.0e-4;

/* Morph target ids of mesh attributes go up to 127 */
constexpr std::size_t MaxMorphTargets = 128;

/* Keeps the stride of a joined JOINTS_n or WEIGHTS_n attribute within 16 bits */
constexpr std::size_t MaxSkinningSets = 1024;

/* Extensions a file may require; the others change what the file means in ways the importer
   would silently get wrong */
constexpr std::string_view SupportedExtensions[]{"KHR_lights_punctual",
                                                 "KHR_materials_pbrSpecularGlossiness",
                                                 "KHR_materials_unlit", "KHR_mesh_quantization"};

/* Marks the failure of an external file read for data opened from memory */
constexpr std::string_view RefusedRead = "<no directory to read external files from>";

/* "Trade::GltfImporter::<function>():" */
struct Prefix {
    const char* function;
};

Debug& operator<<(Debug& debug, Prefix prefix) {
    return debug << "Trade::GltfImporter::" << Debug::nospace << prefix.function << Debug::nospace
                 << "():";
}

/* Data URIs cut after a few characters of payload, so that a message quoting one stays short */
std::string shortened(std::string_view text) {
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t uri = text.find("data:", i);
        const std::size_t payload =
            uri == std::string_view::npos ? uri : text.find(";base64,", uri);
        if (payload == std::string_view::npos) {
            result += text.substr(i);
            break;
        }
        const std::size_t kept = payload + 8 + 16;
        if (kept >= text.size()) {
            result += text.substr(i);
            break;
        }
        result += text.substr(i, kept - i);
        i = kept;
        while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                                   text[i] == '+' || text[i] == '/' || text[i] == '='))
            ++i;
        result += "...";
    }
    return result;
}

/* tinygltf's messages on one line: its lines joined with "; " */
std::string oneLine(std::string_view text) {
    std::string result;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        if (!line.empty()) {
            if (!result.empty())
                result += "; ";
            result += line;
        }
        begin = end + 1;
    }
    return shortened(result);
}

/* Whether the JSON nests arrays and objects deeper than MaxJsonDepth, brackets in strings
   aside */
bool nestsTooDeep(std::string_view json) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > MaxJsonDepth)
                return true;
        } else if ((c == ']' || c == '}') && depth) {
            --depth;
        }
    }
    return false;
}

/* The whole file, false if it can't be read */
template<class Byte>
bool readWholeFile(const std::filesystem::path& path, std::vector<Byte>& out) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream file{path, std::ios::binary | std::ios::ate};
    const std::streamoff size = file ? std::streamoff(file.tellg()) : -1;
    if (size < 0)
        return false;
    out.resize(std::size_t(size));
    file.seekg(0);
    return bool(file.read(reinterpret_cast<char*>(out.data()), size));
}

/* File access for tinygltf: only the directory of an opened file, nothing for data opened
   from memory */
struct FileAccess {
    bool fromFile;
    std::string directory;
    /* The last file that wasn't found or was refused for want of a directory */
    std::string failed;
};

bool fileExists(const std::string& path, void* userData) {
    auto& access = *static_cast<FileAccess*>(userData);
    /* Without a directory the read is refused later, with a message of ours */
    if (!access.fromFile)
        return true;
    /* tinygltf also looks in the working directory, which has nothing to do with the file */
    if (!access.directory.empty() && !path.starts_with(access.directory))
        return false;
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        return true;
    access.failed = path;
    return false;
}

std::string expandFilePath(const std::string& path, void*) {
    return path;
}

bool readFile(std::vector<unsigned char>* out, std::string* error, const std::string& path,
              void* userData) {
    auto& access = *static_cast<FileAccess*>(userData);
    if (!access.fromFile) {
        access.failed = path;
        *error += RefusedRead;
        return false;
    }
    if (!readWholeFile(path, *out)) {
        *error += "cannot read the file";
        return false;
    }
    return true;
}

bool writeFile(std::string*, const std::string&, const std::vector<unsigned char>&, void*) {
    return false;
}

/* Keeps the encoded bytes of data URI and external file images for decoding on load. Images
   in buffer views are taken from the buffer on load: tinygltf hands them over without
   checking that the view lies inside its buffer. */
bool keepEncodedImage(tinygltf::Image* image, int, std::string*, std::string*, int, int,
                      const unsigned char* bytes, int size, void*) {
    if (image->bufferView == -1 && size > 0)
        image->image.assign(bytes, bytes + size);
    return true;
}

/* Accessors */

/* An accessor's component type, by name */
struct ComponentType {
    int value;
};

Debug& operator<<(Debug& debug, ComponentType type) {
    switch (type.value) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
        return debug << "BYTE";
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        return debug << "UNSIGNED_BYTE";
    case TINYGLTF_COMPONENT_TYPE_SHORT:
        return debug << "SHORT";
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        return debug << "UNSIGNED_SHORT";
    case TINYGLTF_COMPONENT_TYPE_INT:
        return debug << "INT";
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        return debug << "UNSIGNED_INT";
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return debug << "FLOAT";
    case TINYGLTF_COMPONENT_TYPE_DOUBLE:
        return debug << "DOUBLE";
    }
    return debug << type.value;
}

/* "VEC3 of normalized SHORT" */
struct AccessorFormat {
    const tinygltf::Accessor& accessor;
};

Debug& operator<<(Debug& debug, AccessorFormat format) {
    switch (format.accessor.type) {
    case TINYGLTF_TYPE_SCALAR:
        debug << "SCALAR";
        break;
    case TINYGLTF_TYPE_VEC2:
        debug << "VEC2";
        break;
    case TINYGLTF_TYPE_VEC3:
        debug << "VEC3";
        break;
    case TINYGLTF_TYPE_VEC4:
        debug << "VEC4";
        break;
    case TINYGLTF_TYPE_MAT2:
        debug << "MAT2";
        break;
    case TINYGLTF_TYPE_MAT3:
        debug << "MAT3";
        break;
    case TINYGLTF_TYPE_MAT4:
        debug << "MAT4";
        break;
    default:
        debug << format.accessor.type;
    }
    debug << "of";
    if (format.accessor.normalized)
        debug << "normalized";
    return debug << ComponentType{format.accessor.componentType};
}

std::size_t componentSize(int componentType) {
    switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        return 2;
    case TINYGLTF_COMPONENT_TYPE_INT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return 4;
    case TINYGLTF_COMPONENT_TYPE_DOUBLE:
        return 8;
    }
    return 0;
}

std::size_t componentCount(int type) {
    switch (type) {
    case TINYGLTF_TYPE_SCALAR:
        return 1;
    case TINYGLTF_TYPE_VEC2:
        return 2;
    case TINYGLTF_TYPE_VEC3:
        return 3;
    case TINYGLTF_TYPE_VEC4:
    case TINYGLTF_TYPE_MAT2:
        return 4;
    case TINYGLTF_TYPE_MAT3:
        return 9;
    case TINYGLTF_TYPE_MAT4:
        return 16;
    }
    return 0;
}

/* Bytes of one element, 0 for types that have none; matrix columns start at four-byte
   boundaries */
std::size_t elementSize(const tinygltf::Accessor& accessor) {
    const std::size_t size = componentSize(accessor.componentType);
    const std::size_t components = componentCount(accessor.type);
    const std::size_t columns = accessor.type == TINYGLTF_TYPE_MAT2   ? 2
                                : accessor.type == TINYGLTF_TYPE_MAT3 ? 3
                                : accessor.type == TINYGLTF_TYPE_MAT4 ? 4
                                                                      : 1;
    if (columns == 1)
        return size * components;
    return columns * ((components / columns * size + 3) & ~std::size_t{3});
}

/* a·b + c, nothing when that overflows */
std::optional<std::size_t> mulAdd(std::size_t a, std::size_t b, std::size_t c) {
    std::size_t result;
    if (__builtin_mul_overflow(a, b, &result) || __builtin_add_overflow(result, c, &result))
        return std::nullopt;
    return result;
}

/* The bytes of a buffer view and its stride, 0 when not given */
struct BufferView {
    std::span<const char> data;
    std::size_t stride;
};

std::optional<BufferView> bufferView(const tinygltf::Model& model, int id, const char* function) {
    if (id < 0 || std::size_t(id) >= model.bufferViews.size()) {
        Error{} << Prefix{function} << "buffer view" << id << "out of range for"
                << model.bufferViews.size() << "buffer views";
        return std::nullopt;
    }
    const tinygltf::BufferView& view = model.bufferViews[std::size_t(id)];
    if (view.buffer < 0 || std::size_t(view.buffer) >= model.buffers.size()) {
        Error{} << Prefix{function} << "buffer" << view.buffer << "of buffer view" << id
                << "out of range for" << model.buffers.size() << "buffers";
        return std::nullopt;
    }
    const std::vector<unsigned char>& buffer = model.buffers[std::size_t(view.buffer)].data;
    const std::optional<std::size_t> end = mulAdd(1, view.byteOffset, view.byteLength);
    if (!end) {
        Error{} << Prefix{function} << "size of buffer view" << id << "overflows";
        return std::nullopt;
    }
    if (*end > buffer.size()) {
        Error{} << Prefix{function} << "buffer view" << id << "needs" << *end << "bytes but buffer"
                << view.buffer << "has only" << buffer.size();
        return std::nullopt;
    }
    return BufferView{
        {reinterpret_cast<const char*>(buffer.data()) + view.byteOffset, view.byteLength},
        view.byteStride};
}

/* An accessor whose elements were checked to lie inside its buffers */
struct Accessor {
    const tinygltf::Accessor* accessor;
    int id;
    std::size_t count;
    std::size_t elementSize;
    /* Null for an accessor without a buffer view, whose elements start out zero */
    const char* data;
    std::size_t stride;
    /* Elements replaced by a sparse accessor: indices of sparseIndexSize bytes and values,
       both tightly packed */
    std::size_t sparseCount;
    std::size_t sparseIndexSize;
    const char* sparseIndices;
    const char* sparseValues;
};

std::uint32_t readIndex(const char* data, std::size_t size) {
    if (size == 1)
        return std::uint8_t(*data);
    if (size == 2) {
        std::uint16_t index;
        std::memcpy(&index, data, 2);
        return index;
    }
    std::uint32_t index;
    std::memcpy(&index, data, 4);
    return index;
}

std::size_t indexSize(int componentType) {
    switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        return componentSize(componentType);
    }
    return 0;
}

/* Checks that the range of bytes a part of an accessor needs lies in its buffer view */
bool fits(std::optional<std::size_t> needed, std::size_t available, const char* function,
          const char* part, int accessor, int view) {
    if (!needed) {
        Error{} << Prefix{function} << "size of" << part << accessor << "overflows";
        return false;
    }
    if (*needed > available) {
        Error{} << Prefix{function} << part << accessor << "needs" << *needed
                << "bytes but buffer view" << view << "has only" << available;
        return false;
    }
    return true;
}

std::optional<Accessor> accessor(const tinygltf::Model& model, int id, const char* function) {
    if (id < 0 || std::size_t(id) >= model.accessors.size()) {
        Error{} << Prefix{function} << "accessor" << id << "out of range for"
                << model.accessors.size() << "accessors";
        return std::nullopt;
    }
    const tinygltf::Accessor& gltf = model.accessors[std::size_t(id)];
    const std::size_t size = elementSize(gltf);
    if (!size) {
        Error{} << Prefix{function} << "accessor" << id << "has an invalid component type"
                << gltf.componentType;
        return std::nullopt;
    }
    Accessor result{&gltf, id, gltf.count, size, nullptr, size, 0, 0, nullptr, nullptr};

    if (gltf.bufferView != -1) {
        const std::optional<BufferView> view = bufferView(model, gltf.bufferView, function);
        if (!view)
            return std::nullopt;
        if (view->stride && view->stride < size) {
            Error{} << Prefix{function} << "stride" << view->stride << "of buffer view"
                    << gltf.bufferView << "is smaller than the" << size
                    << "byte elements of accessor" << id;
            return std::nullopt;
        }
        if (view->stride)
            result.stride = view->stride;
        if (gltf.count) {
            std::optional<std::size_t> needed = mulAdd(gltf.count - 1, result.stride, size);
            if (needed)
                needed = mulAdd(1, *needed, gltf.byteOffset);
            if (!fits(needed, view->data.size(), function, "accessor", id, gltf.bufferView))
                return std::nullopt;
            result.data = view->data.data() + gltf.byteOffset;
        }
    }

    if (gltf.sparse.isSparse) {
        const auto& sparse = gltf.sparse;
        if (sparse.count < 0 || std::size_t(sparse.count) > gltf.count) {
            Error{} << Prefix{function} << "accessor" << id << "has" << sparse.count
                    << "sparse values for" << gltf.count << "elements";
            return std::nullopt;
        }
        result.sparseCount = std::size_t(sparse.count);
        result.sparseIndexSize = indexSize(sparse.indices.componentType);
        if (!result.sparseIndexSize) {
            Error{} << Prefix{function} << "accessor" << id << "has sparse indices of type"
                    << ComponentType{sparse.indices.componentType};
            return std::nullopt;
        }
        if (sparse.indices.byteOffset < 0 || sparse.values.byteOffset < 0) {
            Error{} << Prefix{function} << "accessor" << id << "has a negative sparse offset";
            return std::nullopt;
        }
        const std::optional<BufferView> indices =
            bufferView(model, sparse.indices.bufferView, function);
        if (!indices)
            return std::nullopt;
        const std::optional<BufferView> values =
            bufferView(model, sparse.values.bufferView, function);
        if (!values)
            return std::nullopt;
        if (!fits(mulAdd(result.sparseCount, result.sparseIndexSize,
                         std::size_t(sparse.indices.byteOffset)),
                  indices->data.size(), function, "sparse indices of accessor", id,
                  sparse.indices.bufferView) ||
            !fits(mulAdd(result.sparseCount, size, std::size_t(sparse.values.byteOffset)),
                  values->data.size(), function, "sparse values of accessor", id,
                  sparse.values.bufferView))
            return std::nullopt;
        result.sparseIndices = indices->data.data() + sparse.indices.byteOffset;
        result.sparseValues = values->data.data() + sparse.values.byteOffset;
        for (std::size_t i = 0; i != result.sparseCount; ++i) {
            const std::uint32_t index = readIndex(result.sparseIndices + i * result.sparseIndexSize,
                                                  result.sparseIndexSize);
            if (index >= gltf.count) {
                Error{} << Prefix{function} << "sparse index" << index << "of accessor" << id
                        << "out of range for" << gltf.count << "elements";
                return std::nullopt;
            }
        }
    }
    return result;
}

/* Writes the accessor's elements dstStride bytes apart, sparse substitution included */
void materialize(const Accessor& accessor, char* dst, std::size_t dstStride) {
    if (!accessor.count)
        return;
    const std::size_t size = accessor.elementSize;
    if (accessor.data)
        MeshTools::copyInto(
            StridedArrayView2D<const char>{
                accessor.data, {accessor.count, size}, {std::ptrdiff_t(accessor.stride), 1}},
            StridedArrayView2D<char>{dst, {accessor.count, size}, {std::ptrdiff_t(dstStride), 1}});
    else if (dstStride == size)
        std::memset(dst, 0, accessor.count * size);
    else
        for (std::size_t i = 0; i != accessor.count; ++i)
            std::memset(dst + i * dstStride, 0, size);
    for (std::size_t i = 0; i != accessor.sparseCount; ++i) {
        const std::uint32_t index = readIndex(accessor.sparseIndices + i * accessor.sparseIndexSize,
                                              accessor.sparseIndexSize);
        std::memcpy(dst + index * dstStride, accessor.sparseValues + i * size, size);
    }
}

/* The accessor's elements tightly packed */
std::vector<char> materialize(const Accessor& accessor) {
    std::vector<char> data(accessor.count * accessor.elementSize);
    materialize(accessor, data.data(), accessor.elementSize);
    return data;
}

template<class T>
void unpackAll(const std::vector<char>& packed, float* out) {
    for (std::size_t i = 0; i != packed.size() / sizeof(T); ++i) {
        T value;
        std::memcpy(&value, packed.data() + i * sizeof(T), sizeof(T));
        out[i] = unpack<float>(value);
    }
}

/* The components of a FLOAT or normalized 8- or 16-bit accessor as floats */
std::vector<float> readFloats(const Accessor& accessor) {
    const int type = accessor.accessor->componentType;
    std::vector<float> result(accessor.count * componentCount(accessor.accessor->type));
    if (type == TINYGLTF_COMPONENT_TYPE_FLOAT) {
        materialize(accessor, reinterpret_cast<char*>(result.data()), accessor.elementSize);
        return result;
    }
    const std::vector<char> packed = materialize(accessor);
    if (type == TINYGLTF_COMPONENT_TYPE_BYTE)
        unpackAll<std::int8_t>(packed, result.data());
    else if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE)
        unpackAll<std::uint8_t>(packed, result.data());
    else if (type == TINYGLTF_COMPONENT_TYPE_SHORT)
        unpackAll<std::int16_t>(packed, result.data());
    else
        unpackAll<std::uint16_t>(packed, result.data());
    return result;
}

/* Whether the accessor is of the type and one of the component types, normalized as
   given */
bool isFormat(const tinygltf::Accessor& accessor, int type, bool normalized,
              std::initializer_list<int> componentTypes) {
    return accessor.type == type && accessor.normalized == normalized &&
           std::find(componentTypes.begin(), componentTypes.end(), accessor.componentType) !=
               componentTypes.end();
}

/* The output limit of a file with these buffers */
std::size_t outputLimit(const tinygltf::Model& model) {
    std::size_t bytes = 0;
    for (const tinygltf::Buffer& buffer : model.buffers)
        bytes += buffer.data.size();
    return std::max(MinOutputLimit, bytes > std::numeric_limits<std::size_t>::max() / 4
                                        ? std::numeric_limits<std::size_t>::max()
                                        : bytes * 4);
}

bool withinLimit(std::optional<std::size_t> bytes, std::size_t limit, const char* function,
                 const char* what) {
    if (!bytes) {
        Error{} << Prefix{function} << "size of" << what << "overflows";
        return false;
    }
    if (*bytes > limit) {
        Error{} << Prefix{function} << what << "of" << *bytes << "bytes is over the limit of"
                << limit << "bytes for this file";
        return false;
    }
    return true;
}

/* JSON values of extensions */

/* An integer, also from a number written with a fraction of zero */
std::optional<std::int64_t> integer(const tinygltf::Value& value) {
    if (value.IsInt())
        return value.Get<int>();
    if (!value.IsReal())
        return std::nullopt;
    const double number = value.Get<double>();
    if (!(number >= -9.0e15 && number <= 9.0e15) || number != std::floor(number))
        return std::nullopt;
    return std::int64_t(number);
}

std::optional<double> number(const tinygltf::Value& value) {
    if (!value.IsNumber())
        return std::nullopt;
    return value.GetNumberAsDouble();
}

/* Fills out with the numbers of an array of exactly size numbers */
bool numbers(const tinygltf::Value& value, std::size_t size, float* out) {
    if (!value.IsArray() || value.ArrayLen() != size)
        return false;
    for (std::size_t i = 0; i != size; ++i) {
        const std::optional<double> component = number(value.Get(int(i)));
        if (!component)
            return false;
        out[i] = float(*component);
    }
    return true;
}

/* Meshes */

enum class Semantic : std::uint8_t {
    Position,
    Normal,
    Tangent,
    TextureCoordinates,
    Color,
    Joints,
    Weights,
};

/* The meaning and set of an attribute name, nothing for names the importer doesn't know */
std::optional<std::pair<Semantic, std::uint32_t>> semantic(std::string_view name) {
    if (name == "POSITION")
        return std::pair{Semantic::Position, 0u};
    if (name == "NORMAL")
        return std::pair{Semantic::Normal, 0u};
    if (name == "TANGENT")
        return std::pair{Semantic::Tangent, 0u};
    constexpr std::pair<std::string_view, Semantic> Sets[]{
        {"TEXCOORD_", Semantic::TextureCoordinates},
        {"COLOR_", Semantic::Color},
        {"JOINTS_", Semantic::Joints},
        {"WEIGHTS_", Semantic::Weights}};
    for (const auto& [prefix, meaning] : Sets) {
        if (!name.starts_with(prefix) || name.size() == prefix.size())
            continue;
        const char* begin = name.data() + prefix.size();
        const char* end = name.data() + name.size();
        std::uint32_t set;
        const auto [last, error] = std::from_chars(begin, end, set);
        if (error == std::errc{} && last == end)
            return std::pair{meaning, set};
    }
    return std::nullopt;
}

/* Bit of a component type with or without normalization among the formats an attribute
   takes */
constexpr unsigned formatBit(int componentType, bool normalized) {
    return componentType >= TINYGLTF_COMPONENT_TYPE_BYTE &&
                   componentType <= TINYGLTF_COMPONENT_TYPE_FLOAT
               ? 1u << ((componentType - TINYGLTF_COMPONENT_TYPE_BYTE) * 2 + normalized)
               : 0u;
}

constexpr unsigned F = formatBit(TINYGLTF_COMPONENT_TYPE_FLOAT, false);
constexpr unsigned B = formatBit(TINYGLTF_COMPONENT_TYPE_BYTE, false);
constexpr unsigned BN = formatBit(TINYGLTF_COMPONENT_TYPE_BYTE, true);
constexpr unsigned UB = formatBit(TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, false);
constexpr unsigned UBN = formatBit(TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE, true);
constexpr unsigned S = formatBit(TINYGLTF_COMPONENT_TYPE_SHORT, false);
constexpr unsigned SN = formatBit(TINYGLTF_COMPONENT_TYPE_SHORT, true);
constexpr unsigned US = formatBit(TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, false);
constexpr unsigned USN = formatBit(TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, true);

/* The accessor types and component formats glTF and KHR_mesh_quantization allow, for the base
   mesh or a morph target */
bool isAllowed(const tinygltf::Accessor& accessor, Semantic meaning, bool morphTarget) {
    const unsigned format = formatBit(accessor.componentType, accessor.normalized);
    const int type = accessor.type;
    switch (meaning) {
    case Semantic::Position:
        return type == TINYGLTF_TYPE_VEC3 &&
               (format &
                (morphTarget ? F | B | BN | S | SN : F | B | BN | UB | UBN | S | SN | US | USN));
    case Semantic::Normal:
        return type == TINYGLTF_TYPE_VEC3 && (format & (F | BN | SN));
    case Semantic::Tangent:
        return type == (morphTarget ? TINYGLTF_TYPE_VEC3 : TINYGLTF_TYPE_VEC4) &&
               (format & (F | BN | SN));
    case Semantic::TextureCoordinates:
        return type == TINYGLTF_TYPE_VEC2 && (format & (F | B | BN | UB | UBN | S | SN | US | USN));
    case Semantic::Color:
        return (type == TINYGLTF_TYPE_VEC3 || type == TINYGLTF_TYPE_VEC4) &&
               (format & (F | UBN | USN));
    case Semantic::Joints:
        return type == TINYGLTF_TYPE_VEC4 && (format & (UB | US));
    case Semantic::Weights:
        return type == TINYGLTF_TYPE_VEC4 && (format & (F | UBN | USN));
    }
    return false;
}

/* The vertex format of an allowed accessor */
VertexFormat vertexFormatOf(const tinygltf::Accessor& accessor) {
    VertexFormat component{};
    switch (accessor.componentType) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
        component = VertexFormat::Byte;
        break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        component = VertexFormat::UnsignedByte;
        break;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
        component = VertexFormat::Short;
        break;
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        component = VertexFormat::UnsignedShort;
        break;
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        component = VertexFormat::Float;
        break;
    default:
        ZE_INTERNAL_ASSERT_UNREACHABLE();
    }
    return vertexFormat(component, std::uint32_t(componentCount(accessor.type)),
                        accessor.normalized);
}

MeshAttribute meshAttribute(Semantic meaning) {
    switch (meaning) {
    case Semantic::Position:
        return MeshAttribute::Position;
    case Semantic::Normal:
        return MeshAttribute::Normal;
    case Semantic::Tangent:
        return MeshAttribute::Tangent;
    case Semantic::TextureCoordinates:
        return MeshAttribute::TextureCoordinates;
    case Semantic::Color:
        return MeshAttribute::Color;
    case Semantic::Joints:
        return MeshAttribute::JointIds;
    case Semantic::Weights:
        return MeshAttribute::Weights;
    }
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<MeshPrimitive> meshPrimitive(int mode) {
    switch (mode) {
    case TINYGLTF_MODE_POINTS:
        return MeshPrimitive::Points;
    case TINYGLTF_MODE_LINE:
        return MeshPrimitive::Lines;
    case TINYGLTF_MODE_LINE_LOOP:
        return MeshPrimitive::LineLoop;
    case TINYGLTF_MODE_LINE_STRIP:
        return MeshPrimitive::LineStrip;
    case TINYGLTF_MODE_TRIANGLES:
        return MeshPrimitive::Triangles;
    case TINYGLTF_MODE_TRIANGLE_STRIP:
        return MeshPrimitive::TriangleStrip;
    case TINYGLTF_MODE_TRIANGLE_FAN:
        return MeshPrimitive::TriangleFan;
    }
    return std::nullopt;
}

/* One attribute of a primitive as found in the file */
struct FileAttribute {
    const std::string* name;
    Semantic meaning;
    std::uint32_t set;
    std::int32_t morphTarget;
    Accessor accessor;
};

/* "NORMAL" or "morph target 2 NORMAL" */
struct AttributeName {
    const FileAttribute& attribute;
};

Debug& operator<<(Debug& debug, AttributeName name) {
    if (name.attribute.morphTarget != -1)
        debug << "morph target" << name.attribute.morphTarget;
    return debug << *name.attribute.name;
}

/* Converts rows of four components from packed src into rows dstStride bytes apart */
template<class Dst, class Src, class Convert>
void convertRows(char* dst, std::size_t dstStride, const char* src, std::size_t count,
                 Convert convert) {
    for (std::size_t i = 0; i != count; ++i) {
        Src in[4];
        std::memcpy(in, src + i * sizeof(in), sizeof(in));
        Dst out[4];
        for (std::size_t j = 0; j != 4; ++j)
            out[j] = convert(in[j]);
        std::memcpy(dst + i * dstStride, out, sizeof(out));
    }
}

/* The format the JOINTS_n or WEIGHTS_n sets are joined into: the widest of theirs */
VertexFormat joinedFormat(const std::vector<FileAttribute>& sets) {
    bool anyFloat = false, anyShort = false;
    for (const FileAttribute& set : sets) {
        anyFloat |= set.accessor.accessor->componentType == TINYGLTF_COMPONENT_TYPE_FLOAT;
        anyShort |= set.accessor.accessor->componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
    }
    const bool weights = sets.front().meaning == Semantic::Weights;
    if (anyFloat)
        return VertexFormat::Float;
    if (anyShort)
        return weights ? VertexFormat::UnsignedShortNormalized : VertexFormat::UnsignedShort;
    return weights ? VertexFormat::UnsignedByteNormalized : VertexFormat::UnsignedByte;
}

/* Writes the sets side by side into rows of their joined format, widening narrower ones */
void joinSets(const std::vector<FileAttribute>& sets, VertexFormat format, char* dst,
              std::size_t dstStride) {
    const std::size_t columnSize = 4 * vertexFormatSize(format);
    for (std::size_t i = 0; i != sets.size(); ++i) {
        const Accessor& accessor = sets[i].accessor;
        char* const column = dst + i * columnSize;
        /* The allowed formats of one kind of set differ in size */
        if (accessor.elementSize == columnSize) {
            materialize(accessor, column, dstStride);
            continue;
        }
        const std::vector<char> packed = materialize(accessor);
        const bool fromBytes = accessor.elementSize == 4;
        if (format == VertexFormat::UnsignedShort)
            convertRows<std::uint16_t, std::uint8_t>(
                column, dstStride, packed.data(), accessor.count, [](std::uint8_t v) { return v; });
        else if (format == VertexFormat::UnsignedShortNormalized)
            convertRows<std::uint16_t, std::uint8_t>(
                column, dstStride, packed.data(), accessor.count,
                [](std::uint8_t v) { return std::uint16_t(v * 257); });
        else if (fromBytes)
            convertRows<float, std::uint8_t>(column, dstStride, packed.data(), accessor.count,
                                             [](std::uint8_t v) { return unpack<float>(v); });
        else
            convertRows<float, std::uint16_t>(column, dstStride, packed.data(), accessor.count,
                                              [](std::uint16_t v) { return unpack<float>(v); });
    }
}

template<class T>
std::optional<std::uint32_t> firstIndexOutOfRange(const char* data, std::size_t count,
                                                  std::uint32_t vertexCount) {
    for (std::size_t i = 0; i != count; ++i) {
        T index;
        std::memcpy(&index, data + i * sizeof(T), sizeof(T));
        if (index >= vertexCount)
            return index;
    }
    return std::nullopt;
}

/* Animations */

/* The cubic Hermite spline glTF defines between two keys, at s from 0 to 1, with the
   tangents already scaled by the time between the keys */
double hermite(double p0, double m0, double p1, double m1, double s) {
    const double s2 = s * s, s3 = s2 * s;
    return (2.0 * s3 - 3.0 * s2 + 1.0) * p0 + (s3 - 2.0 * s2 + s) * m0 +
           (-2.0 * s3 + 3.0 * s2) * p1 + (s3 - s2) * m1;
}

/* A CUBICSPLINE sampler: keys, and per key in-tangent, value and out-tangent of components
   floats each */
struct Spline {
    const std::vector<float>& keys;
    const std::vector<float>& outputs;
    std::size_t components;

    const float* value(std::size_t key, std::size_t part) const {
        return outputs.data() + (3 * key + part) * components;
    }

    /* Value at s of the segment from key k to k + 1, normalized for rotations */
    void evaluate(std::size_t k, double s, float* out) const {
        const double duration = double(keys[k + 1]) - double(keys[k]);
        const float *p0 = value(k, 1), *b0 = value(k, 2), *a1 = value(k + 1, 0),
                    *p1 = value(k + 1, 1);
        double result[4];
        double length = 0.0;
        for (std::size_t c = 0; c != components; ++c) {
            result[c] = hermite(p0[c], duration * b0[c], p1[c], duration * a1[c], s);
            length += result[c] * result[c];
        }
        length = std::sqrt(length);
        const bool normalize = components == 4 && length > 0.0 && std::isfinite(length);
        for (std::size_t c = 0; c != components; ++c)
            out[c] = float(normalize ? result[c] / length : result[c]);
    }
};

/* Into how many intervals the linear track splits the segment from key k to k + 1, so that
   each of its components stays within SplineTolerance·max(1, largest component of the
   spline there) of the spline.

   The linear interpolation of a curve sampled h apart (in the segment's parameter s from 0 to
   1) deviates from it by at most h²/8 times its largest second derivative M, and the second
   derivative of a cubic is linear, so largest at one end. The spline is at most M/8 away from
   the chord between its ends, which bounds its magnitude from below. n ≥ sqrt(M / (8·t))
   intervals are then enough for a tolerance t, taken at 90 % of that bound for the rounding of
   the float samples. Rotations are normalized after evaluation and interpolated along great
   arcs, which the bound doesn't cover, so their count is then doubled until the arc between
   every two samples passes within the tolerance of the spline at its middle.

   Values that aren't finite give one interval. Counts above limit are returned as limit + 1,
   for the caller to refuse. */
std::uint64_t splineIntervals(const Spline& spline, std::size_t k, std::uint64_t limit) {
    const double duration = double(spline.keys[k + 1]) - double(spline.keys[k]);
    const float *p0 = spline.value(k, 1), *b0 = spline.value(k, 2), *a1 = spline.value(k + 1, 0),
                *p1 = spline.value(k + 1, 1);
    double secondDerivative = 0.0, magnitude = 1.0;
    for (std::size_t c = 0; c != spline.components; ++c) {
        const double delta = 6.0 * (double(p1[c]) - double(p0[c]));
        const double m0 = duration * b0[c], m1 = duration * a1[c];
        const double largest =
            std::max(std::abs(delta - 4.0 * m0 - 2.0 * m1), std::abs(-delta + 2.0 * m0 + 4.0 * m1));
        secondDerivative = std::max(secondDerivative, largest);
        const double chord = (p0[c] < 0.0f) == (p1[c] < 0.0f)
                                 ? std::min(std::abs(double(p0[c])), std::abs(double(p1[c])))
                                 : 0.0;
        magnitude = std::max(magnitude, chord - largest / 8.0);
    }
    const double tolerance = 0.9 * SplineTolerance * magnitude;
    const double bound = std::ceil(std::sqrt(secondDerivative / (8.0 * tolerance)));
    if (!std::isfinite(bound))
        return 1;
    if (bound > double(limit))
        return limit + 1;
    std::uint64_t intervals = std::max<std::uint64_t>(1, std::uint64_t(bound));
    if (spline.components != 4 || intervals > limit)
        return std::min(intervals, limit + 1);

    for (; intervals <= limit; intervals *= 2) {
        bool within = true;
        float previous[4], next[4], middle[4];
        spline.evaluate(k, 0.0, previous);
        for (std::uint64_t i = 0; i != intervals && within; ++i) {
            spline.evaluate(k, double(i + 1) / double(intervals), next);
            spline.evaluate(k, (double(i) + 0.5) / double(intervals), middle);
            const Quaternion arc = slerpShortestPath(
                quaternionFromXyzw(previous[0], previous[1], previous[2], previous[3]),
                quaternionFromXyzw(next[0], next[1], next[2], next[3]), 0.5f);
            const Quaternion curve = quaternionFromXyzw(middle[0], middle[1], middle[2], middle[3]);
            /* q and -q are the same rotation */
            const float deviation = std::min(glm::length(arc - curve), glm::length(arc + curve));
            within = !(deviation > float(tolerance));
            std::memcpy(previous, next, sizeof(next));
        }
        if (within)
            return intervals;
    }
    return limit + 1;
}

void normalizeQuaternions(float* data, std::size_t count, std::size_t step) {
    for (std::size_t i = 0; i != count; ++i) {
        float* q = data + i * step;
        const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        if (length > 0.0f && std::isfinite(length))
            for (std::size_t c = 0; c != 4; ++c)
                q[c] /= length;
    }
}

} // namespace

struct GltfImporter::State {
    tinygltf::Model model;
    /* Whether external files were looked up next to an opened file */
    bool fromFile;
    /* Importer mesh id → glTF mesh and its primitive */
    std::vector<std::pair<std::uint32_t, std::uint32_t>> meshes;
    /* glTF mesh → importer id of its first primitive */
    std::vector<std::uint32_t> meshOffsets;
    std::size_t outputLimit;
};

GltfImporter::GltfImporter() = default;

GltfImporter::~GltfImporter() = default;

bool GltfImporter::doIsOpened() const {
    return _state != nullptr;
}

bool GltfImporter::doOpenFile(const std::filesystem::path& filename) {
    std::vector<char> data;
    if (!readWholeFile(filename, data)) {
        Error{} << Prefix{"openFile"} << "cannot read" << filename.string();
        return false;
    }
    return open(data, filename.parent_path().string(), "openFile");
}

bool GltfImporter::doOpenData(std::span<const char> data) {
    return open(data, std::nullopt, "openData");
}

bool GltfImporter::open(std::span<const char> data, const std::optional<std::string>& directory,
                        const char* function) {
    /* tinygltf takes 32-bit sizes */
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
        Error{} << Prefix{function} << "file of" << data.size() << "bytes is too large";
        return false;
    }
    const bool binary = data.size() >= 4 && std::memcmp(data.data(), "glTF", 4) == 0;
    std::string_view json{data.data(), data.size()};
    if (binary) {
        std::uint32_t jsonSize = 0;
        if (data.size() >= 20)
            std::memcpy(&jsonSize, data.data() + 12, 4);
        json = data.size() >= 20 && data.size() - 20 >= jsonSize ? json.substr(20, jsonSize)
                                                                 : std::string_view{};
    }
    if (nestsTooDeep(json)) {
        Error{} << Prefix{function} << "JSON nested deeper than" << MaxJsonDepth << "levels";
        return false;
    }

    auto state = std::make_unique<State>();
    state->fromFile = bool(directory);
    FileAccess access{bool(directory), directory.value_or(std::string{}), {}};
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(keepEncodedImage, nullptr);
    loader.SetFsCallbacks({fileExists, expandFilePath, readFile, writeFile, &access});
    std::string error, warning;
    bool loaded = false;
    try {
        loaded =
            binary
                ? loader.LoadBinaryFromMemory(&state->model, &error, &warning,
                                              reinterpret_cast<const unsigned char*>(data.data()),
                                              unsigned(data.size()), access.directory)
                : loader.LoadASCIIFromString(&state->model, &error, &warning, data.data(),
                                             unsigned(data.size()), access.directory);
    } catch (const std::exception& exception) {
        Error{} << Prefix{function} << "cannot parse the file:" << exception.what();
        return false;
    }
    if (!loaded) {
        /* Buffers are all loaded before the images, whose failures don't end the loading */
        if (!access.failed.empty() && error.find(RefusedRead) != std::string::npos)
            Error{} << Prefix{function} << "external buffer" << shortened(access.failed)
                    << "can't be loaded when opening data from memory";
        else if (!access.failed.empty() && error.find("File not found") != std::string::npos)
            Error{} << Prefix{function} << "cannot read external buffer"
                    << shortened(access.failed);
        else if (error.empty() && warning.empty())
            Error{} << Prefix{function} << "cannot parse the file";
        else
            Error{} << Prefix{function} << oneLine(error + "\n" + warning);
        return false;
    }

    /* What tinygltf notes about a file it could load concerns parts that are checked again on
       load, with messages of ours; what it doesn't check is checked here */
    const tinygltf::Model& model = state->model;
    if (!model.asset.version.starts_with("2.") ||
        (!model.asset.minVersion.empty() && model.asset.minVersion != "2.0")) {
        Error{} << Prefix{function} << "unsupported glTF version"
                << (model.asset.minVersion.empty() ? model.asset.version : model.asset.minVersion);
        return false;
    }
    for (const std::string& extension : model.extensionsRequired)
        if (std::find(std::begin(SupportedExtensions), std::end(SupportedExtensions), extension) ==
            std::end(SupportedExtensions)) {
            Error{} << Prefix{function} << "required extension" << extension << "is not supported";
            return false;
        }
    if (model.defaultScene < -1 || model.defaultScene >= std::int64_t(model.scenes.size())) {
        Error{} << Prefix{function} << "default scene" << model.defaultScene << "out of range for"
                << model.scenes.size() << "scenes";
        return false;
    }

    state->meshOffsets.reserve(model.meshes.size());
    for (std::size_t i = 0; i != model.meshes.size(); ++i) {
        state->meshOffsets.push_back(std::uint32_t(state->meshes.size()));
        for (std::size_t j = 0; j != model.meshes[i].primitives.size(); ++j)
            state->meshes.emplace_back(std::uint32_t(i), std::uint32_t(j));
    }
    state->outputLimit = outputLimit(model);
    _state = std::move(state);
    return true;
}

void GltfImporter::doClose() {
    _state.reset();
}

std::optional<std::uint32_t> GltfImporter::doDefaultScene() const {
    if (_state->model.defaultScene == -1)
        return std::nullopt;
    return std::uint32_t(_state->model.defaultScene);
}

std::uint32_t GltfImporter::doSceneCount() const {
    return std::uint32_t(_state->model.scenes.size());
}

std::string GltfImporter::doSceneName(std::uint32_t id) const {
    return _state->model.scenes[id].name;
}

std::optional<SceneData> GltfImporter::doScene(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const std::int64_t nodeCount = std::int64_t(model.nodes.size());

    /* Depth-first from the roots, children in file order, so that the parent entries list
       the hierarchy in the order a walk over it visits the objects */
    constexpr std::int64_t Unvisited = -2;
    std::vector<std::int64_t> parentOf(model.nodes.size(), Unvisited);
    std::vector<std::pair<std::int64_t, std::int64_t>> stack;
    const std::vector<int>& roots = model.scenes[id].nodes;
    for (auto root = roots.rbegin(); root != roots.rend(); ++root)
        stack.emplace_back(*root, -1);
    SceneFields fields;
    while (!stack.empty()) {
        const auto [node, parent] = stack.back();
        stack.pop_back();
        if (node < 0 || node >= nodeCount) {
            if (parent == -1)
                Error{} << Prefix{"scene"} << "root node" << node << "out of range for" << nodeCount
                        << "nodes";
            else
                Error{} << Prefix{"scene"} << "child" << node << "of node" << parent
                        << "out of range for" << nodeCount << "nodes";
            return std::nullopt;
        }
        const std::int64_t first = parentOf[std::size_t(node)];
        if (first != Unvisited) {
            Error error;
            error << Prefix{"scene"} << "node" << node;
            const auto place = [&error](std::int64_t from) {
                if (from == -1)
                    error << "a root";
                else
                    error << "a child of node" << from;
            };
            if (first == -1 && parent == -1)
                error << "is listed twice as a root";
            else {
                error << "is reached twice, as";
                place(first);
                error << "and as";
                place(parent);
            }
            return std::nullopt;
        }
        parentOf[std::size_t(node)] = parent;
        fields.parents.push_back({std::uint64_t(node), parent});
        const std::vector<int>& children = model.nodes[std::size_t(node)].children;
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            stack.emplace_back(*child, node);
    }

    const auto inRange = [](int index, std::size_t count) {
        return index >= 0 && std::size_t(index) < count;
    };
    for (const SceneParent& entry : fields.parents) {
        const std::uint64_t object = entry.object;
        const tinygltf::Node& node = model.nodes[object];
        if (!node.matrix.empty()) {
            if (node.matrix.size() != 16) {
                Error{} << Prefix{"scene"} << "expected 16 matrix components of node" << object
                        << "but got" << node.matrix.size();
                return std::nullopt;
            }
            SceneMatrix& matrix = fields.matrices.emplace_back(SceneMatrix{object, Matrix4{}});
            for (std::size_t i = 0; i != 16; ++i)
                matrix.transformation[int(i / 4)][int(i % 4)] = float(node.matrix[i]);
        } else if (!node.translation.empty() || !node.rotation.empty() || !node.scale.empty()) {
            for (const auto& [values, size, name] :
                 {std::tuple{&node.translation, 3u, "translation"},
                  std::tuple{&node.rotation, 4u, "rotation"}, std::tuple{&node.scale, 3u, "scale"}})
                if (!values->empty() && values->size() != size) {
                    Error{} << Prefix{"scene"} << "expected" << size << name << "components of node"
                            << object << "but got" << values->size();
                    return std::nullopt;
                }
            SceneTrs& trs = fields.trs.emplace_back(SceneTrs{object, {}, {}, Vector3{1.0f}});
            const auto& t = node.translation;
            const auto& r = node.rotation;
            const auto& s = node.scale;
            if (!t.empty())
                trs.translation = Vector3{float(t[0]), float(t[1]), float(t[2])};
            if (!r.empty())
                trs.rotation =
                    quaternionFromXyzw(float(r[0]), float(r[1]), float(r[2]), float(r[3]));
            if (!s.empty())
                trs.scaling = Vector3{float(s[0]), float(s[1]), float(s[2])};
        }

        if (node.mesh != -1) {
            if (!inRange(node.mesh, model.meshes.size())) {
                Error{} << Prefix{"scene"} << "mesh" << node.mesh << "of node" << object
                        << "out of range for" << model.meshes.size() << "meshes";
                return std::nullopt;
            }
            const std::vector<tinygltf::Primitive>& primitives =
                model.meshes[std::size_t(node.mesh)].primitives;
            for (std::size_t i = 0; i != primitives.size(); ++i) {
                const int material = primitives[i].material;
                if (material != -1 && !inRange(material, model.materials.size())) {
                    Error{} << Prefix{"scene"} << "material" << material << "of mesh" << node.mesh
                            << "primitive" << i << "out of range for" << model.materials.size()
                            << "materials";
                    return std::nullopt;
                }
                fields.meshesMaterials.push_back(
                    {object, _state->meshOffsets[std::size_t(node.mesh)] + std::uint32_t(i),
                     material});
            }
        }

        int light = -1;
        const auto lights = node.extensions.find("KHR_lights_punctual");
        if (lights != node.extensions.end()) {
            const std::optional<std::int64_t> index =
                lights->second.Has("light") ? integer(lights->second.Get("light")) : std::nullopt;
            if (!index || *index < 0 || *index > std::numeric_limits<int>::max()) {
                Error{} << Prefix{"scene"} << "invalid KHR_lights_punctual light of node" << object;
                return std::nullopt;
            }
            light = int(*index);
        }
        for (const auto& [index, count, entries, name] :
             {std::tuple{node.skin, model.skins.size(), &fields.skins, "skin"},
              std::tuple{node.camera, model.cameras.size(), &fields.cameras, "camera"},
              std::tuple{light, model.lights.size(), &fields.lights, "light"}}) {
            if (index == -1)
                continue;
            if (!inRange(index, count)) {
                Error{} << Prefix{"scene"} << name << index << "of node" << object
                        << "out of range for" << count << name << Debug::nospace << "s";
                return std::nullopt;
            }
            entries->push_back({object, std::uint32_t(index)});
        }
    }
    return SceneData{model.nodes.size(), true, std::move(fields)};
}

std::uint64_t GltfImporter::doObjectCount() const {
    return _state->model.nodes.size();
}

std::string GltfImporter::doObjectName(std::uint64_t id) const {
    return _state->model.nodes[id].name;
}

std::uint32_t GltfImporter::doMeshCount() const {
    return std::uint32_t(_state->meshes.size());
}

std::string GltfImporter::doMeshName(std::uint32_t id) const {
    return _state->model.meshes[_state->meshes[id].first].name;
}

std::optional<MeshData> GltfImporter::doMesh(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const auto [meshId, primitiveId] = _state->meshes[id];
    const tinygltf::Primitive& primitive = model.meshes[meshId].primitives[primitiveId];

    const std::optional<MeshPrimitive> meshPrimitiveType = meshPrimitive(primitive.mode);
    if (!meshPrimitiveType) {
        Error{} << Prefix{"mesh"} << "unrecognized primitive mode" << primitive.mode;
        return std::nullopt;
    }
    if (primitive.targets.size() > MaxMorphTargets) {
        Error{} << Prefix{"mesh"} << "expected at most" << MaxMorphTargets
                << "morph targets but got" << primitive.targets.size();
        return std::nullopt;
    }

    /* Everything is checked before anything is allocated for the result */
    std::vector<FileAttribute> attributes, joints, weights;
    const auto collect = [&](const std::map<std::string, int>& found, std::int32_t morphTarget) {
        for (const auto& [name, index] : found) {
            const auto meaning = semantic(name);
            if (!meaning ||
                (morphTarget != -1 && meaning->first != Semantic::Position &&
                 meaning->first != Semantic::Normal && meaning->first != Semantic::Tangent))
                continue;
            const std::optional<Accessor> resolved = accessor(model, index, "mesh");
            if (!resolved)
                return false;
            FileAttribute attribute{&name, meaning->first, meaning->second, morphTarget, *resolved};
            if (!isAllowed(*resolved->accessor, meaning->first, morphTarget != -1)) {
                Error{} << Prefix{"mesh"} << "unsupported" << AttributeName{attribute} << "format"
                        << AccessorFormat{*resolved->accessor};
                return false;
            }
            (meaning->first == Semantic::Joints    ? joints
             : meaning->first == Semantic::Weights ? weights
                                                   : attributes)
                .push_back(attribute);
        }
        return true;
    };
    if (!collect(primitive.attributes, -1))
        return std::nullopt;
    for (std::size_t i = 0; i != primitive.targets.size(); ++i)
        if (!collect(primitive.targets[i], std::int32_t(i)))
            return std::nullopt;
    const auto order = [](const FileAttribute& a, const FileAttribute& b) {
        return std::tuple{std::uint32_t(a.morphTarget + 1), a.meaning, a.set} <
               std::tuple{std::uint32_t(b.morphTarget + 1), b.meaning, b.set};
    };
    std::sort(attributes.begin(), attributes.end(), order);
    std::sort(joints.begin(), joints.end(), order);
    std::sort(weights.begin(), weights.end(), order);
    if (joints.size() > MaxSkinningSets || weights.size() > MaxSkinningSets) {
        Error{} << Prefix{"mesh"} << "expected at most" << MaxSkinningSets
                << "JOINTS and WEIGHTS sets but got" << std::max(joints.size(), weights.size());
        return std::nullopt;
    }

    /* Without a fallback in buffer views, accessors of a Draco-compressed primitive have
       nothing but zeros */
    if (primitive.extensions.count("KHR_draco_mesh_compression"))
        for (const std::vector<FileAttribute>* list : {&attributes, &joints, &weights})
            for (const FileAttribute& attribute : *list)
                if (!attribute.accessor.data && !attribute.accessor.sparseCount) {
                    Error{} << Prefix{"mesh"} << "Draco-compressed primitives are not supported";
                    return std::nullopt;
                }

    const FileAttribute* first = nullptr;
    for (const std::vector<FileAttribute>* list : {&attributes, &joints, &weights})
        for (const FileAttribute& attribute : *list) {
            if (!first)
                first = &attribute;
            else if (attribute.accessor.count != first->accessor.count) {
                Error{} << Prefix{"mesh"} << AttributeName{attribute} << "has"
                        << attribute.accessor.count << "vertices but" << AttributeName{*first}
                        << "has" << first->accessor.count;
                return std::nullopt;
            }
        }
    const std::size_t vertexCount = first ? first->accessor.count : 0;
    if (vertexCount >= MeshData::ImplicitVertexCount) {
        Error{} << Prefix{"mesh"} << "expected less than" << MeshData::ImplicitVertexCount
                << "vertices but got" << vertexCount;
        return std::nullopt;
    }

    /* Each attribute gets a block of its own at a four-byte boundary: the base mesh's, the
       joined joints and weights, then the morph targets' */
    struct Block {
        MeshAttribute name;
        VertexFormat format;
        std::uint16_t arraySize;
        std::int32_t morphTarget;
        /* One attribute of the file, or the sets to join */
        const FileAttribute* attribute;
        const std::vector<FileAttribute>* sets;
        std::size_t offset, stride;
    };
    std::vector<Block> blocks;
    std::optional<std::size_t> vertexBytes = 0;
    const auto addBlock = [&](Block block) {
        if (!vertexBytes)
            return;
        block.stride = vertexFormatSize(block.format) * std::max<std::size_t>(block.arraySize, 1);
        block.offset = *vertexBytes;
        vertexBytes = mulAdd(vertexCount, block.stride, block.offset + 3);
        if (vertexBytes)
            *vertexBytes &= ~std::size_t{3};
        blocks.push_back(block);
    };
    const auto morphTargets =
        std::find_if(attributes.begin(), attributes.end(),
                     [](const FileAttribute& attribute) { return attribute.morphTarget != -1; });
    for (auto attribute = attributes.begin(); attribute != morphTargets; ++attribute)
        addBlock({meshAttribute(attribute->meaning), vertexFormatOf(*attribute->accessor.accessor),
                  0, -1, &*attribute, nullptr, 0, 0});
    for (const std::vector<FileAttribute>* sets : {&joints, &weights})
        if (!sets->empty())
            addBlock({meshAttribute(sets->front().meaning), joinedFormat(*sets),
                      std::uint16_t(4 * sets->size()), -1, nullptr, sets, 0, 0});
    for (auto attribute = morphTargets; attribute != attributes.end(); ++attribute)
        addBlock({meshAttribute(attribute->meaning), vertexFormatOf(*attribute->accessor.accessor),
                  0, attribute->morphTarget, &*attribute, nullptr, 0, 0});
    if (!withinLimit(vertexBytes, _state->outputLimit, "mesh", "vertex data"))
        return std::nullopt;

    std::vector<char> indexData;
    MeshIndexType indexType{};
    std::size_t indexCount = 0;
    if (primitive.indices != -1) {
        const std::optional<Accessor> indices = accessor(model, primitive.indices, "mesh");
        if (!indices)
            return std::nullopt;
        const tinygltf::Accessor& gltf = *indices->accessor;
        if (gltf.type != TINYGLTF_TYPE_SCALAR || gltf.normalized ||
            !indexSize(gltf.componentType)) {
            Error{} << Prefix{"mesh"} << "unsupported index format" << AccessorFormat{gltf};
            return std::nullopt;
        }
        if (indices->count > std::numeric_limits<std::uint32_t>::max()) {
            Error{} << Prefix{"mesh"} << "expected at most"
                    << std::numeric_limits<std::uint32_t>::max() << "indices but got"
                    << indices->count;
            return std::nullopt;
        }
        if (!withinLimit(mulAdd(indices->count, indices->elementSize, 0), _state->outputLimit,
                         "mesh", "index data"))
            return std::nullopt;
        indexData = materialize(*indices);
        indexCount = indices->count;
        const std::uint32_t vertices = std::uint32_t(vertexCount);
        std::optional<std::uint32_t> outOfRange;
        if (indices->elementSize == 1) {
            indexType = MeshIndexType::UnsignedByte;
            outOfRange = firstIndexOutOfRange<std::uint8_t>(indexData.data(), indexCount, vertices);
        } else if (indices->elementSize == 2) {
            indexType = MeshIndexType::UnsignedShort;
            outOfRange =
                firstIndexOutOfRange<std::uint16_t>(indexData.data(), indexCount, vertices);
        } else {
            indexType = MeshIndexType::UnsignedInt;
            outOfRange =
                firstIndexOutOfRange<std::uint32_t>(indexData.data(), indexCount, vertices);
        }
        if (outOfRange) {
            Error{} << Prefix{"mesh"} << "index" << *outOfRange << "out of range for" << vertexCount
                    << "vertices";
            return std::nullopt;
        }
    }

    std::vector<char> vertexData(*vertexBytes);
    std::vector<MeshAttributeData> meshAttributes;
    meshAttributes.reserve(blocks.size());
    for (const Block& block : blocks) {
        char* const data = vertexData.data() + block.offset;
        if (block.attribute)
            materialize(block.attribute->accessor, data, block.stride);
        else
            joinSets(*block.sets, block.format, data, block.stride);
        meshAttributes.emplace_back(block.name, block.format, block.offset,
                                    std::uint32_t(vertexCount), std::ptrdiff_t(block.stride),
                                    block.arraySize, block.morphTarget);
    }
    if (primitive.indices != -1)
        return MeshData{*meshPrimitiveType,
                        DataStorage{std::move(indexData)},
                        MeshIndexData{indexType, 0, std::uint32_t(indexCount)},
                        DataStorage{std::move(vertexData)},
                        std::move(meshAttributes),
                        std::uint32_t(vertexCount)};
    return MeshData{*meshPrimitiveType, DataStorage{std::move(vertexData)},
                    std::move(meshAttributes), std::uint32_t(vertexCount)};
}

std::uint32_t GltfImporter::doMaterialCount() const {
    return std::uint32_t(_state->model.materials.size());
}

std::string GltfImporter::doMaterialName(std::uint32_t id) const {
    return _state->model.materials[id].name;
}

std::optional<MaterialData> GltfImporter::doMaterial(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const tinygltf::Material& material = model.materials[id];
    using A = MaterialAttribute;
    std::vector<MaterialAttributeData> attributes;
    const auto add = [&](std::string_view name, MaterialAttributeValue value) {
        attributes.push_back({std::string{name}, std::move(value)});
    };
    /* A texture and its coordinate set, false after a message when they are invalid */
    const auto addTexture = [&](const char* what, std::int64_t index, std::int64_t coordinates,
                                A texture, std::string_view coordinatesName) {
        if (index == -1)
            return true;
        if (index < 0 || std::uint64_t(index) >= model.textures.size()) {
            Error{} << Prefix{"material"} << what << "texture" << index << "out of range for"
                    << model.textures.size() << "textures";
            return false;
        }
        if (coordinates < 0 || coordinates > std::numeric_limits<std::uint32_t>::max()) {
            Error{} << Prefix{"material"} << "invalid" << what << "texture coordinate set"
                    << coordinates;
            return false;
        }
        add(materialAttributeName(texture), std::uint32_t(index));
        add(coordinatesName, std::uint32_t(coordinates));
        return true;
    };

    const bool unlit = material.extensions.count("KHR_materials_unlit");
    const auto specularGlossiness = material.extensions.find("KHR_materials_pbrSpecularGlossiness");
    const bool hasSpecularGlossiness = specularGlossiness != material.extensions.end();
    /* A specular-glossiness material needn't have metallic-roughness parameters, which tinygltf
       fills with defaults; it lists the ones the file gives */
    const bool hasMetallicRoughness = !hasSpecularGlossiness || !material.values.empty();
    MaterialTypes types;
    if (unlit)
        types |= MaterialType::Flat;
    else if (hasMetallicRoughness)
        types |= MaterialType::PbrMetallicRoughness;

    if (hasMetallicRoughness) {
        const tinygltf::PbrMetallicRoughness& pbr = material.pbrMetallicRoughness;
        const std::vector<double>& color = pbr.baseColorFactor;
        add(materialAttributeName(A::BaseColor),
            color.size() == 4
                ? Vector4{float(color[0]), float(color[1]), float(color[2]), float(color[3])}
                : Vector4{1.0f});
        add(materialAttributeName(A::Metalness), float(pbr.metallicFactor));
        add(materialAttributeName(A::Roughness), float(pbr.roughnessFactor));
        if (!addTexture("base color", pbr.baseColorTexture.index, pbr.baseColorTexture.texCoord,
                        A::BaseColorTexture,
                        materialAttributeName(A::BaseColorTextureCoordinates)) ||
            !addTexture("metalness-roughness", pbr.metallicRoughnessTexture.index,
                        pbr.metallicRoughnessTexture.texCoord, A::MetalnessRoughnessTexture,
                        materialAttributeName(A::MetalnessRoughnessTextureCoordinates)))
            return std::nullopt;
    }

    if (hasSpecularGlossiness) {
        types |= MaterialType::PbrSpecularGlossiness;
        const tinygltf::Value& extension = specularGlossiness->second;
        float diffuse[4]{1.0f, 1.0f, 1.0f, 1.0f}, specular[3]{1.0f, 1.0f, 1.0f};
        std::optional<double> glossiness = 1.0;
        if ((extension.Has("diffuseFactor") &&
             !numbers(extension.Get("diffuseFactor"), 4, diffuse)) ||
            (extension.Has("specularFactor") &&
             !numbers(extension.Get("specularFactor"), 3, specular)) ||
            (extension.Has("glossinessFactor") &&
             !(glossiness = number(extension.Get("glossinessFactor"))))) {
            Error{} << Prefix{"material"} << "invalid KHR_materials_pbrSpecularGlossiness factors";
            return std::nullopt;
        }
        add(materialAttributeName(A::DiffuseColor),
            Vector4{diffuse[0], diffuse[1], diffuse[2], diffuse[3]});
        /* The factor has no alpha, the texture has glossiness in it */
        add(materialAttributeName(A::SpecularColor),
            Vector4{specular[0], specular[1], specular[2], 1.0f});
        add(materialAttributeName(A::Glossiness), float(*glossiness));
        for (const auto& [key, what, texture, coordinates] :
             {std::tuple{"diffuseTexture", "diffuse", A::DiffuseTexture,
                         materialAttributeName(A::DiffuseTextureCoordinates)},
              std::tuple{"specularGlossinessTexture", "specular-glossiness", A::SpecularTexture,
                         std::string_view{"SpecularTextureCoordinates"}}}) {
            if (!extension.Has(key))
                continue;
            const tinygltf::Value& info = extension.Get(key);
            const std::optional<std::int64_t> index =
                info.Has("index") ? integer(info.Get("index")) : std::nullopt;
            const std::optional<std::int64_t> set =
                info.Has("texCoord") ? integer(info.Get("texCoord")) : std::int64_t{0};
            if (!index || !set) {
                Error{} << Prefix{"material"} << "invalid KHR_materials_pbrSpecularGlossiness"
                        << key;
                return std::nullopt;
            }
            if (!addTexture(what, *index, *set, texture, coordinates))
                return std::nullopt;
        }
    }

    const tinygltf::NormalTextureInfo& normal = material.normalTexture;
    const tinygltf::OcclusionTextureInfo& occlusion = material.occlusionTexture;
    const tinygltf::TextureInfo& emissive = material.emissiveTexture;
    if (!addTexture("normal", normal.index, normal.texCoord, A::NormalTexture,
                    materialAttributeName(A::NormalTextureCoordinates)) ||
        !addTexture("occlusion", occlusion.index, occlusion.texCoord, A::OcclusionTexture,
                    materialAttributeName(A::OcclusionTextureCoordinates)) ||
        !addTexture("emissive", emissive.index, emissive.texCoord, A::EmissiveTexture,
                    materialAttributeName(A::EmissiveTextureCoordinates)))
        return std::nullopt;
    if (normal.index != -1)
        add(materialAttributeName(A::NormalTextureScale), float(normal.scale));
    if (occlusion.index != -1)
        add(materialAttributeName(A::OcclusionTextureStrength), float(occlusion.strength));
    const std::vector<double>& emission = material.emissiveFactor;
    add(materialAttributeName(A::EmissiveColor),
        emission.size() == 3 ? Vector3{float(emission[0]), float(emission[1]), float(emission[2])}
                             : Vector3{0.0f});

    if (material.alphaMode == "MASK")
        add(materialAttributeName(A::AlphaMask), float(material.alphaCutoff));
    else if (material.alphaMode == "BLEND")
        add(materialAttributeName(A::AlphaBlend), true);
    else if (material.alphaMode != "OPAQUE") {
        Error{} << Prefix{"material"} << "unrecognized alpha mode" << material.alphaMode;
        return std::nullopt;
    }
    if (material.doubleSided)
        add(materialAttributeName(A::DoubleSided), true);
    return MaterialData{types, std::move(attributes)};
}

std::uint32_t GltfImporter::doTextureCount() const {
    return std::uint32_t(_state->model.textures.size());
}

std::string GltfImporter::doTextureName(std::uint32_t id) const {
    return _state->model.textures[id].name;
}

std::optional<TextureData> GltfImporter::doTexture(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const tinygltf::Texture& texture = model.textures[id];
    if (texture.source == -1) {
        Error{} << Prefix{"texture"} << "the texture has no image";
        return std::nullopt;
    }
    if (texture.source < 0 || std::size_t(texture.source) >= model.images.size()) {
        Error{} << Prefix{"texture"} << "image" << texture.source << "out of range for"
                << model.images.size() << "images";
        return std::nullopt;
    }

    SamplerFilter minification = SamplerFilter::Linear, magnification = SamplerFilter::Linear;
    SamplerMipmap mipmap = SamplerMipmap::Linear;
    std::array<SamplerWrapping, 3> wrapping{SamplerWrapping::Repeat, SamplerWrapping::Repeat,
                                            SamplerWrapping::Repeat};
    if (texture.sampler != -1) {
        if (texture.sampler < 0 || std::size_t(texture.sampler) >= model.samplers.size()) {
            Error{} << Prefix{"texture"} << "sampler" << texture.sampler << "out of range for"
                    << model.samplers.size() << "samplers";
            return std::nullopt;
        }
        const tinygltf::Sampler& sampler = model.samplers[std::size_t(texture.sampler)];
        switch (sampler.magFilter) {
        case -1:
            break;
        case TINYGLTF_TEXTURE_FILTER_NEAREST:
            magnification = SamplerFilter::Nearest;
            break;
        case TINYGLTF_TEXTURE_FILTER_LINEAR:
            break;
        default:
            Error{} << Prefix{"texture"} << "unrecognized magnification filter"
                    << sampler.magFilter;
            return std::nullopt;
        }
        switch (sampler.minFilter) {
        case -1:
            break;
        case TINYGLTF_TEXTURE_FILTER_NEAREST:
            minification = SamplerFilter::Nearest;
            mipmap = SamplerMipmap::Base;
            break;
        case TINYGLTF_TEXTURE_FILTER_LINEAR:
            mipmap = SamplerMipmap::Base;
            break;
        case TINYGLTF_TEXTURE_FILTER_NEAREST_MIPMAP_NEAREST:
            minification = SamplerFilter::Nearest;
            mipmap = SamplerMipmap::Nearest;
            break;
        case TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_NEAREST:
            mipmap = SamplerMipmap::Nearest;
            break;
        case TINYGLTF_TEXTURE_FILTER_NEAREST_MIPMAP_LINEAR:
            minification = SamplerFilter::Nearest;
            break;
        case TINYGLTF_TEXTURE_FILTER_LINEAR_MIPMAP_LINEAR:
            break;
        default:
            Error{} << Prefix{"texture"} << "unrecognized minification filter" << sampler.minFilter;
            return std::nullopt;
        }
        for (std::size_t i = 0; i != 2; ++i) {
            const int mode = i == 0 ? sampler.wrapS : sampler.wrapT;
            if (mode == TINYGLTF_TEXTURE_WRAP_MIRRORED_REPEAT)
                wrapping[i] = SamplerWrapping::MirroredRepeat;
            else if (mode == TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE)
                wrapping[i] = SamplerWrapping::ClampToEdge;
            else if (mode != TINYGLTF_TEXTURE_WRAP_REPEAT) {
                Error{} << Prefix{"texture"} << "unrecognized wrapping mode" << mode;
                return std::nullopt;
            }
        }
    }
    return TextureData{TextureType::Texture2D,       minification, magnification, mipmap, wrapping,
                       std::uint32_t(texture.source)};
}

std::uint32_t GltfImporter::doImage2DCount() const {
    return std::uint32_t(_state->model.images.size());
}

std::string GltfImporter::doImage2DName(std::uint32_t id) const {
    return _state->model.images[id].name;
}

std::optional<ImageData2D> GltfImporter::doImage2D(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const tinygltf::Image& image = model.images[id];
    /* tinygltf keeps the URI of external files only */
    const std::string what = image.uri.empty() ? "image " + std::to_string(id) : image.uri;
    if (image.bufferView != -1) {
        const std::optional<BufferView> view = bufferView(model, image.bufferView, "image2D");
        if (!view)
            return std::nullopt;
        return decodeImage(view->data, what);
    }
    if (!image.image.empty())
        return decodeImage({reinterpret_cast<const char*>(image.image.data()), image.image.size()},
                           what);
    if (!_state->fromFile)
        Error{} << Prefix{"image2D"} << "external image" << shortened(image.uri)
                << "can't be loaded when opening data from memory";
    else
        Error{} << Prefix{"image2D"} << "cannot read external image" << shortened(image.uri);
    return std::nullopt;
}

std::uint32_t GltfImporter::doSkin3DCount() const {
    return std::uint32_t(_state->model.skins.size());
}

std::string GltfImporter::doSkin3DName(std::uint32_t id) const {
    return _state->model.skins[id].name;
}

std::optional<SkinData3D> GltfImporter::doSkin3D(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const tinygltf::Skin& skin = model.skins[id];
    std::vector<std::uint32_t> joints;
    joints.reserve(skin.joints.size());
    for (const int joint : skin.joints) {
        if (joint < 0 || std::size_t(joint) >= model.nodes.size()) {
            Error{} << Prefix{"skin3D"} << "joint" << joint << "out of range for"
                    << model.nodes.size() << "nodes";
            return std::nullopt;
        }
        joints.push_back(std::uint32_t(joint));
    }
    /* Identities unless the file gives them */
    std::vector<Matrix4> matrices(joints.size());
    if (skin.inverseBindMatrices != -1) {
        const std::optional<Accessor> given = accessor(model, skin.inverseBindMatrices, "skin3D");
        if (!given)
            return std::nullopt;
        if (!isFormat(*given->accessor, TINYGLTF_TYPE_MAT4, false,
                      {TINYGLTF_COMPONENT_TYPE_FLOAT})) {
            Error{} << Prefix{"skin3D"} << "unsupported inverse bind matrix format"
                    << AccessorFormat{*given->accessor};
            return std::nullopt;
        }
        if (given->count != joints.size()) {
            Error{} << Prefix{"skin3D"} << "expected" << joints.size()
                    << "inverse bind matrices but got" << given->count;
            return std::nullopt;
        }
        static_assert(sizeof(Matrix4) == 64, "column-major floats, as glTF stores them");
        materialize(*given, reinterpret_cast<char*>(matrices.data()), sizeof(Matrix4));
    }
    return SkinData3D{std::move(joints), std::move(matrices)};
}

std::uint32_t GltfImporter::doCameraCount() const {
    return std::uint32_t(_state->model.cameras.size());
}

std::string GltfImporter::doCameraName(std::uint32_t id) const {
    return _state->model.cameras[id].name;
}

std::optional<CameraData> GltfImporter::doCamera(std::uint32_t id) {
    const tinygltf::Camera& camera = _state->model.cameras[id];
    if (camera.type == "orthographic") {
        const tinygltf::OrthographicCamera& o = camera.orthographic;
        if (!(o.xmag != 0.0 && std::isfinite(o.xmag) && o.ymag != 0.0 && std::isfinite(o.ymag) &&
              o.znear >= 0.0 && o.zfar > o.znear && std::isfinite(o.zfar))) {
            Error{} << Prefix{"camera"} << "invalid orthographic projection with xmag" << o.xmag
                    << Debug::nospace << ", ymag" << o.ymag << Debug::nospace << ", znear"
                    << o.znear << "and zfar" << o.zfar;
            return std::nullopt;
        }
        return CameraData{CameraType::Orthographic3D,
                          Vector2{float(2.0 * o.xmag), float(2.0 * o.ymag)}, float(o.znear),
                          float(o.zfar)};
    }

    /* tinygltf takes no other types; it gives 0 for the optional properties when absent */
    const tinygltf::PerspectiveCamera& p = camera.perspective;
    const double aspectRatio = p.aspectRatio == 0.0 ? 1.0 : p.aspectRatio;
    const double far = p.zfar == 0.0 ? std::numeric_limits<double>::infinity() : p.zfar;
    if (!(p.yfov > 0.0 && p.yfov < std::numbers::pi && aspectRatio > 0.0 &&
          std::isfinite(aspectRatio) && p.znear > 0.0 && std::isfinite(p.znear) && far > p.znear)) {
        Error{} << Prefix{"camera"} << "invalid perspective projection with yfov" << p.yfov
                << Debug::nospace << ", aspect ratio" << aspectRatio << Debug::nospace << ", znear"
                << p.znear << "and zfar" << far;
        return std::nullopt;
    }
    const double fov = 2.0 * std::atan(std::tan(0.5 * p.yfov) * aspectRatio);
    return CameraData{Rad{float(fov)}, float(aspectRatio), float(p.znear), float(far)};
}

std::uint32_t GltfImporter::doLightCount() const {
    return std::uint32_t(_state->model.lights.size());
}

std::string GltfImporter::doLightName(std::uint32_t id) const {
    return _state->model.lights[id].name;
}

std::optional<LightData> GltfImporter::doLight(std::uint32_t id) {
    const tinygltf::Light& light = _state->model.lights[id];
    LightData::Properties properties;
    LightType type;
    if (light.type == "directional") {
        type = LightType::Directional;
        properties.attenuation = Vector3{1.0f, 0.0f, 0.0f};
    } else if (light.type == "point") {
        type = LightType::Point;
    } else if (light.type == "spot") {
        type = LightType::Spot;
    } else {
        Error{} << Prefix{"light"} << "unrecognized light type" << light.type;
        return std::nullopt;
    }
    if (!light.color.empty()) {
        if (light.color.size() != 3) {
            Error{} << Prefix{"light"} << "expected 3 color components but got"
                    << light.color.size();
            return std::nullopt;
        }
        properties.color =
            Color3{float(light.color[0]), float(light.color[1]), float(light.color[2])};
    }
    properties.intensity = float(light.intensity);
    /* tinygltf gives 0 for no range, which directional lights don't have anyway */
    if (type != LightType::Directional) {
        if (!(light.range >= 0.0)) {
            Error{} << Prefix{"light"} << "expected a positive range but got" << light.range;
            return std::nullopt;
        }
        if (light.range > 0.0)
            properties.range = float(light.range);
    }
    if (type == LightType::Spot) {
        /* glTF gives the angles between the axis and the cones */
        const double inner = light.spot.innerConeAngle, outer = light.spot.outerConeAngle;
        if (!(inner >= 0.0 && inner <= outer && outer <= 0.5 * std::numbers::pi)) {
            Error{} << Prefix{"light"}
                    << "expected spot cone angles 0 <= inner <= outer <= pi/2 but got" << inner
                    << "and" << outer;
            return std::nullopt;
        }
        properties.innerConeAngle = Rad{float(2.0 * inner)};
        properties.outerConeAngle = Rad{float(2.0 * outer)};
    }
    return LightData{type, properties};
}

std::uint32_t GltfImporter::doAnimationCount() const {
    return std::uint32_t(_state->model.animations.size());
}

std::string GltfImporter::doAnimationName(std::uint32_t id) const {
    return _state->model.animations[id].name;
}

std::optional<AnimationData> GltfImporter::doAnimation(std::uint32_t id) {
    const tinygltf::Model& model = _state->model;
    const tinygltf::Animation& animation = model.animations[id];
    const std::size_t limit = _state->outputLimit;

    /* A channel as read from the file */
    struct Track {
        AnimationTrackTarget target;
        std::uint64_t node;
        Animation::Interpolation interpolation;
        bool cubic;
        std::size_t components;
        std::vector<float> keys, outputs;
        /* Intervals each segment of a cubic spline is resampled into */
        std::vector<std::uint64_t> intervals;
        std::size_t keyCount;
    };
    std::vector<Track> tracks;
    std::size_t skipped = 0;
    std::optional<std::size_t> readBytes = 0, bytes = 0;
    for (std::size_t i = 0; i != animation.channels.size(); ++i) {
        const tinygltf::AnimationChannel& channel = animation.channels[i];
        Track track{};
        if (channel.target_path == "translation")
            track.target = AnimationTrackTarget::Translation3D;
        else if (channel.target_path == "rotation")
            track.target = AnimationTrackTarget::Rotation3D;
        else if (channel.target_path == "scale")
            track.target = AnimationTrackTarget::Scaling3D;
        else if (channel.target_path == "weights") {
            ++skipped;
            continue;
        } else {
            Error{} << Prefix{"animation"} << "unsupported target path" << channel.target_path
                    << "of channel" << i;
            return std::nullopt;
        }
        track.components = track.target == AnimationTrackTarget::Rotation3D ? 4 : 3;
        if (channel.target_node < 0 || std::size_t(channel.target_node) >= model.nodes.size()) {
            Error{} << Prefix{"animation"} << "target node" << channel.target_node << "of channel"
                    << i << "out of range for" << model.nodes.size() << "nodes";
            return std::nullopt;
        }
        track.node = std::uint64_t(channel.target_node);
        if (channel.sampler < 0 || std::size_t(channel.sampler) >= animation.samplers.size()) {
            Error{} << Prefix{"animation"} << "sampler" << channel.sampler << "of channel" << i
                    << "out of range for" << animation.samplers.size() << "samplers";
            return std::nullopt;
        }
        const int samplerId = channel.sampler;
        const tinygltf::AnimationSampler& sampler = animation.samplers[std::size_t(samplerId)];
        if (sampler.interpolation == "STEP")
            track.interpolation = Animation::Interpolation::Constant;
        else if (sampler.interpolation == "LINEAR" || sampler.interpolation == "CUBICSPLINE")
            track.interpolation = Animation::Interpolation::Linear;
        else {
            Error{} << Prefix{"animation"} << "unrecognized interpolation" << sampler.interpolation
                    << "of sampler" << samplerId;
            return std::nullopt;
        }
        track.cubic = sampler.interpolation == "CUBICSPLINE";

        const std::optional<Accessor> input = accessor(model, sampler.input, "animation");
        if (!input)
            return std::nullopt;
        if (!isFormat(*input->accessor, TINYGLTF_TYPE_SCALAR, false,
                      {TINYGLTF_COMPONENT_TYPE_FLOAT})) {
            Error{} << Prefix{"animation"} << "unsupported input format"
                    << AccessorFormat{*input->accessor} << "of sampler" << samplerId;
            return std::nullopt;
        }
        const std::optional<Accessor> output = accessor(model, sampler.output, "animation");
        if (!output)
            return std::nullopt;
        const tinygltf::Accessor& outputs = *output->accessor;
        if (track.target == AnimationTrackTarget::Rotation3D
                ? !isFormat(outputs, TINYGLTF_TYPE_VEC4, false, {TINYGLTF_COMPONENT_TYPE_FLOAT}) &&
                      !isFormat(
                          outputs, TINYGLTF_TYPE_VEC4, true,
                          {TINYGLTF_COMPONENT_TYPE_BYTE, TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE,
                           TINYGLTF_COMPONENT_TYPE_SHORT, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT})
                : !isFormat(outputs, TINYGLTF_TYPE_VEC3, false, {TINYGLTF_COMPONENT_TYPE_FLOAT})) {
            Error{} << Prefix{"animation"} << "unsupported" << channel.target_path
                    << "output format" << AccessorFormat{outputs} << "of sampler" << samplerId;
            return std::nullopt;
        }
        if (mulAdd(input->count, track.cubic ? 3 : 1, 0) != output->count) {
            Error error;
            error << Prefix{"animation"} << "sampler" << samplerId << "has" << output->count
                  << "outputs for" << input->count << "keys";
            if (track.cubic)
                error << Debug::nospace << ", expected three per key";
            return std::nullopt;
        }
        readBytes = mulAdd(output->count, track.components, input->count);
        if (readBytes)
            readBytes = mulAdd(*readBytes, sizeof(float), 0);
        if (!withinLimit(readBytes, limit, "animation", "animation data"))
            return std::nullopt;

        track.keys = readFloats(*input);
        for (std::size_t k = 0; k != track.keys.size(); ++k) {
            if (!std::isfinite(track.keys[k])) {
                Error{} << Prefix{"animation"} << "key" << k << "of sampler" << samplerId
                        << "is not finite";
                return std::nullopt;
            }
            if (k && !(track.keys[k] > track.keys[k - 1])) {
                Error{} << Prefix{"animation"} << "keys of sampler" << samplerId
                        << "are not strictly ascending at key" << k;
                return std::nullopt;
            }
        }
        track.outputs = readFloats(*output);
        /* Splines are normalized after evaluation */
        if (track.target == AnimationTrackTarget::Rotation3D && !track.cubic)
            normalizeQuaternions(track.outputs.data(), track.keys.size(), 4);

        track.keyCount = track.keys.size();
        const std::size_t keyBytes = sizeof(float) * (1 + track.components);
        if (track.cubic && track.keys.size() > 1) {
            /* Stops at the first segment that takes the animation over the limit */
            const Spline spline{track.keys, track.outputs, track.components};
            const std::size_t budget = (limit - std::min(limit, *bytes)) / keyBytes;
            track.keyCount = 1;
            for (std::size_t k = 0; k + 1 < track.keys.size() && track.keyCount <= budget; ++k) {
                track.intervals.push_back(splineIntervals(spline, k, budget - track.keyCount));
                track.keyCount += track.intervals.back();
            }
        }
        if (bytes)
            bytes = mulAdd(track.keyCount, keyBytes, *bytes);
        if (!withinLimit(bytes, limit, "animation", "animation data"))
            return std::nullopt;
        tracks.push_back(std::move(track));
    }

    /* Keys and values of each track one after the other */
    std::vector<char> data(*bytes);
    std::vector<AnimationTrackData> trackData;
    trackData.reserve(tracks.size());
    std::size_t offset = 0;
    for (const Track& track : tracks) {
        float* const keys = reinterpret_cast<float*>(data.data() + offset);
        float* const values = keys + track.keyCount;
        const std::size_t components = track.components;
        offset += track.keyCount * sizeof(float) * (1 + components);
        if (track.intervals.empty()) {
            /* A cubic spline of one key has just its value, in the middle */
            const std::size_t step = track.cubic ? 3 * components : components;
            const float* const first = track.outputs.data() + (track.cubic ? components : 0);
            for (std::size_t k = 0; k != track.keyCount; ++k) {
                keys[k] = track.keys[k];
                std::memcpy(values + k * components, first + k * step, components * sizeof(float));
            }
            if (track.cubic && components == 4)
                normalizeQuaternions(values, track.keyCount, 4);
        } else {
            const Spline spline{track.keys, track.outputs, components};
            std::size_t key = 0;
            for (std::size_t k = 0; k != track.intervals.size(); ++k) {
                const double start = track.keys[k], duration = double(track.keys[k + 1]) - start;
                const std::uint64_t intervals = track.intervals[k];
                for (std::uint64_t i = 0; i != intervals; ++i, ++key) {
                    const double s = double(i) / double(intervals);
                    keys[key] = float(start + s * duration);
                    spline.evaluate(k, s, values + key * components);
                }
            }
            /* The end of the last segment is its second value exactly */
            keys[key] = track.keys.back();
            spline.evaluate(track.intervals.size() - 1, 1.0, values + key * components);
        }
        const StridedArrayView1D<const float> keyView{keys, track.keyCount, sizeof(float)};
        if (components == 3)
            trackData.emplace_back(
                track.target, track.node, keyView,
                StridedArrayView1D<const Vector3>{reinterpret_cast<const Vector3*>(values),
                                                  track.keyCount, sizeof(Vector3)},
                track.interpolation);
        else
            trackData.emplace_back(
                track.target, track.node, keyView,
                StridedArrayView1D<const Quaternion>{reinterpret_cast<const Quaternion*>(values),
                                                     track.keyCount, sizeof(Quaternion)},
                track.interpolation);
    }
    if (skipped)
        Warning{} << Prefix{"animation"} << "ignoring" << skipped
                  << (skipped == 1 ? "channel" : "channels")
                  << "of morph target weights, which are not supported";
    return AnimationData{DataStorage{std::move(data)}, std::move(trackData)};
}

} // namespace ZarvikEngine::Trade
