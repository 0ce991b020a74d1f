#include "ZarvikEngine/Tools/MorphTargetSet.h"

#include <utility>

namespace ZarvikEngine {

MorphTargetSet::MorphTargetSet(StringArray names, std::vector<Trade::MeshData> meshes)
    : _names{std::move(names)}, _meshes{std::move(meshes)} {
    ZE_ASSERT(_names.size() == _meshes.size(), "MorphTargetSet: got" << _names.size() << "names for"
                                                                     << _meshes.size()
                                                                     << "target meshes");
}

void MorphTargetSet::checkIndex(const char* function, std::size_t i) const {
    ZE_ASSERT(i < _meshes.size(), "MorphTargetSet::" << Debug::nospace << function << Debug::nospace
                                                     << "(): index" << i << "out of range for"
                                                     << _meshes.size() << "targets");
}

std::string_view MorphTargetSet::targetName(std::size_t i) const {
    checkIndex("targetName", i);
    return _names.get(i);
}

const Trade::MeshData& MorphTargetSet::targetMeshData(std::size_t i) const {
    checkIndex("targetMeshData", i);
    return _meshes[i];
}

int MorphTargetSet::targetIndex(std::string_view name) const {
    const StringArrayView::Iterator found = _names.find(name);
    return found == _names.end() ? -1 : int(found.index());
}

} // namespace ZarvikEngine
