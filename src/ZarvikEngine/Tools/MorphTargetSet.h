#ifndef ZarvikEngine_Tools_MorphTargetSet_h
#define ZarvikEngine_Tools_MorphTargetSet_h

#include <cstddef>
#include <string_view>
#include <vector>

#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine {

/* The morph targets of one mesh: a name and a mesh of the target's vertex data each, in the
   same order. Move-only. */
class MorphTargetSet {
public:
    /* Takes both over; they have one entry per target */
    MorphTargetSet(StringArray names, std::vector<Trade::MeshData> meshes);

    std::size_t targetCount() const { return _meshes.size(); }
    std::string_view targetName(std::size_t i) const;
    const Trade::MeshData& targetMeshData(std::size_t i) const;
    /* The first target of that name, -1 when there is none */
    int targetIndex(std::string_view name) const;

private:
    void checkIndex(const char* function, std::size_t i) const;

    StringArray _names;
    std::vector<Trade::MeshData> _meshes;
};

} // namespace ZarvikEngine

#endif
