#ifndef ZarvikEngine_Path_h
#define ZarvikEngine_Path_h

#include <string>
#include <string_view>

/* Arithmetic on paths with "/" as separator. A path is absolute when it starts with "/" or
   has a drive letter ("C:/..."). */
namespace ZarvikEngine::Path {

/* True for an empty path and for any path that is not absolute */
bool isRelative(std::string_view path);

/* path made absolute against base, or against the current working directory when base is
   empty, resolving "." and ".." of path. An absolute path is returned unchanged. */
std::string absolute(std::string_view path, std::string_view base = {});

/* path expressed relative to the directory base, as in "../c/d". Returned unchanged when
   either is empty or relative. */
std::string relativeTo(std::string_view path, std::string_view base);

/* Whether child lies strictly inside parent, comparing whole components. Relative arguments
   are taken against the current working directory. */
bool isParentPath(std::string_view parent, std::string_view child);

/* The nearest of directory and its ancestors that contains name, or an empty string. The
   filesystem root itself is not searched. */
std::string upwardsSearch(std::string_view directory, std::string_view name);

} // namespace ZarvikEngine::Path

#endif
