#ifndef ZarvikEngine_Tests_Tools_GltfFile_h
#define ZarvikEngine_Tests_Tools_GltfFile_h

/* glTF files made in a test: a JSON document and one buffer, embedded as a data URI */

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestHelpers.h"

namespace ZarvikEngine::Tool {

class GltfFile {
public:
    nlohmann::json json{{"asset", {{"version", "2.0"}}}};

    /* Appends values as an accessor over a view of their own; the index of the accessor */
    template<class T>
    std::size_t accessor(const std::vector<T>& values, const std::string& type, int componentType,
                         bool normalized = false, int target = 0) {
        while (_buffer.size() % 4)
            _buffer.push_back(0);
        const std::size_t offset = _buffer.size();
        _buffer.resize(offset + values.size() * sizeof(T));
        std::memcpy(_buffer.data() + offset, values.data(), values.size() * sizeof(T));
        nlohmann::json view{
            {"buffer", 0}, {"byteOffset", offset}, {"byteLength", values.size() * sizeof(T)}};
        if (target)
            view["target"] = target;
        json["bufferViews"].push_back(view);
        const std::size_t componentCount = type == "SCALAR" ? 1
                                           : type == "VEC2" ? 2
                                           : type == "VEC3" ? 3
                                           : type == "VEC4" ? 4
                                                            : 16;
        nlohmann::json accessor{
            {"bufferView", json["bufferViews"].size() - 1},
            {"componentType", componentType},
            {"count", values.size() * sizeof(T) / (componentCount * componentSize(componentType))},
            {"type", type}};
        if (normalized)
            accessor["normalized"] = true;
        json["accessors"].push_back(accessor);
        return json["accessors"].size() - 1;
    }

    /* The document with the buffer embedded, if anything was put in it */
    std::string text() const {
        nlohmann::json document = json;
        if (!_buffer.empty())
            document["buffers"] = {
                {{"byteLength", _buffer.size()},
                 {"uri", "data:application/octet-stream;base64," + Test::base64(_buffer)}}};
        return document.dump();
    }

private:
    static std::size_t componentSize(int componentType) {
        return componentType == 5120 || componentType == 5121   ? 1
               : componentType == 5122 || componentType == 5123 ? 2
                                                                : 4;
    }

    std::vector<char> _buffer;
};

} // namespace ZarvikEngine::Tool

#endif
