#ifndef ZarvikEngine_Resource_h
#define ZarvikEngine_Resource_h

#include <span>
#include <string_view>
#include <vector>

namespace ZarvikEngine {

/* Named groups of files compiled into a binary and registered when it loads, such as the
   renderer's internal shaders. A group lives, unchanged, for the rest of the process. */
class Resource {
public:
    struct File {
        std::string_view name;
        std::string_view data;
    };

    /* Registers the files, which must outlive the process's use of them, under a new group
       name. Meant for static initializers, before any other thread runs. */
    static void registerGroup(std::string_view group, std::span<const File> files);
    static bool hasGroup(std::string_view group);

    /* A registered group */
    explicit Resource(std::string_view group);

    /* File names in the order they were registered */
    std::vector<std::string_view> list() const;
    bool contains(std::string_view filename) const;
    /* The contents of a file of the group */
    std::string_view getString(std::string_view filename) const;

private:
    const File* find(std::string_view filename) const;

    std::string_view _name;
    std::span<const File> _files;
};

} // namespace ZarvikEngine

#endif
