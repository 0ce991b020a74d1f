#ifndef ZarvikEngine_Utils_IncludeInlining_h
#define ZarvikEngine_Utils_IncludeInlining_h

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ZarvikEngine/Utils/Preprocessor.h"
#include "ZarvikEngine/Utils/Result.h"

/* Turning shader sources into self-contained text: #include lines replaced by the files they
   name, and {{TAG}} placeholders by the caller's text, optionally with #line directives so that
   compiler messages keep pointing at the lines of the source as written. */
namespace ZarvikEngine::Utils {

/* Include path to file contents */
using IncludeTable =
    std::unordered_map<std::string, std::string_view, Preprocessor::NameHash, std::equal_to<>>;

/* The path of every #include "path" of the source in order, duplicates kept. Conditionals
   aren't evaluated; includes inside comments are left out. */
Result<std::vector<std::string>> getIncludesList(std::string_view source);

/* Inlines the source's includes from the first location that has a non-empty file of that
   name. A location is a directory or "resource:" followed by a resource group name. On a
   failure the message is printed and the source comes back unchanged. */
std::string inlineIncludes(std::span<const std::string_view> locations, std::string_view source,
                           bool lineDirectives);

/* Inlines one level of includes from the table: the included contents are not searched for
   includes of their own, so cycles can't be followed. On a failure the message is printed and
   the source comes back unchanged. */
std::string inlineIncludes(std::string_view source, const IncludeTable& table, bool lineDirectives);

/* Replaces the first {{name}} of each line whose name (trimmed) is in the list by its text,
   which is expected to end with a line break; other tags stay */
std::string
replaceTagsShader(std::string_view source,
                  std::initializer_list<std::pair<std::string_view, std::string_view>> tags,
                  bool lineDirectives);

} // namespace ZarvikEngine::Utils

#endif
