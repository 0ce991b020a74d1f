/* Writes an asset file holding one mesh, then reads it back as a file from outside must be
   read: validated first, then walked chunk by chunk */

#include <cstdio>
#include <cstring>
#include <vector>

#include "ZarvikEngine/Data/AssetData.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/MeshData.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

int main() {
    /* A triangle of three positions */
    const Vector3 positions[]{{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    std::vector<char> vertices(sizeof(positions));
    std::memcpy(vertices.data(), positions, sizeof(positions));
    const Trade::MeshData triangle{
        MeshPrimitive::Triangles,
        std::move(vertices),
        {Trade::MeshAttributeData{Trade::MeshAttribute::Position, VertexFormat::Vector3, 0, 3,
                                  sizeof(Vector3)}},
        3};

    std::vector<char> file;
    appendHeaderData(file);
    createMeshChunk(triangle, {}, {}, BoundingSphere{{0.5f, 0.5f, 0.0f}, 0.75f}, file);
    updateHeaderData(file);

    const AssetFileValidation validation = validateAssetFile(file);
    if (!validation.valid()) {
        std::printf("invalid: %s\n", validation.error->c_str());
        return 1;
    }
    for (AssetChunkView chunk{file};; chunk = chunk.next()) {
        std::printf("%s, %u bytes\n", debugString(chunk.header().magic).c_str(),
                    chunk.header().size);
        if (chunk.header().magic == MeshData::magic) {
            const MeshData mesh{chunk.data()};
            std::printf("  a mesh of %u vertices\n", mesh.header().vertexCount);
        }
        if (!chunk.hasNext())
            break;
    }
    return 0;
}
