#include "ZarvikEngine/Resource.h"

#include <map>
#include <string>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

namespace {

/* Built on first use, so that registrations from static initializers of any translation unit
   find it ready */
std::map<std::string, std::span<const Resource::File>, std::less<>>& groups() {
    static std::map<std::string, std::span<const Resource::File>, std::less<>> groups;
    return groups;
}

} // namespace

void Resource::registerGroup(std::string_view group, std::span<const File> files) {
    const bool added = groups().emplace(group, files).second;
    ZE_ASSERT(added,
              fmt::format("Resource::registerGroup(): group '{}' is already registered", group));
}

bool Resource::hasGroup(std::string_view group) {
    return groups().contains(group);
}

Resource::Resource(std::string_view group) {
    const auto found = groups().find(group);
    ZE_ASSERT(found != groups().end(), fmt::format("Resource: group '{}' was not found", group));
    _name = found->first;
    _files = found->second;
}

std::vector<std::string_view> Resource::list() const {
    std::vector<std::string_view> names;
    for (const File& file : _files)
        names.push_back(file.name);
    return names;
}

bool Resource::contains(std::string_view filename) const {
    return find(filename);
}

std::string_view Resource::getString(std::string_view filename) const {
    const File* file = find(filename);
    ZE_ASSERT(file, fmt::format("Resource::getString(): file '{}' was not found in group '{}'",
                                filename, _name));
    return file->data;
}

const Resource::File* Resource::find(std::string_view filename) const {
    for (const File& file : _files)
        if (file.name == filename)
            return &file;
    return nullptr;
}

} // namespace ZarvikEngine
