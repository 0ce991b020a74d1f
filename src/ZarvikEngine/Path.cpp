#include "ZarvikEngine/Path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ZarvikEngine::Path {

namespace {

std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> components;
    for (std::size_t begin = 0;;) {
        const std::size_t slash = path.find('/', begin);
        components.push_back(path.substr(begin, slash - begin));
        if (slash == std::string_view::npos)
            return components;
        begin = slash + 1;
    }
}

std::vector<std::string_view> splitNonEmpty(std::string_view path) {
    std::vector<std::string_view> components = split(path);
    std::erase(components, std::string_view{});
    return components;
}

std::string join(const std::vector<std::string_view>& components) {
    std::string path;
    for (std::size_t i = 0; i != components.size(); ++i) {
        if (i)
            path += '/';
        path += components[i];
    }
    return path;
}

} // namespace

bool isRelative(std::string_view path) {
    return !path.starts_with('/') && !(path.size() >= 2 && path[1] == ':');
}

std::string absolute(std::string_view path, std::string_view base) {
    if (!isRelative(path))
        return std::string{path};

    const std::string currentDirectory =
        base.empty() ? std::filesystem::current_path().generic_string() : std::string{};
    if (base.empty())
        base = currentDirectory;

    /* The root ("" before the leading slash, or the drive) stays, and so do no empty
       components from doubled or trailing slashes */
    std::vector<std::string_view> components = split(base);
    const std::size_t rootCount = isRelative(base) ? 0 : 1;
    components.erase(std::remove(components.begin() + std::ptrdiff_t(rootCount), components.end(),
                                 std::string_view{}),
                     components.end());
    for (std::string_view component : split(path)) {
        if (component == "..") {
            if (components.size() > rootCount)
                components.pop_back();
        } else if (component != "." && !component.empty()) {
            components.push_back(component);
        }
    }
    if (components.size() == 1 && components.front().empty())
        return "/";
    return join(components);
}

std::string relativeTo(std::string_view path, std::string_view base) {
    if (isRelative(path) || isRelative(base))
        return std::string{path};

    std::vector<std::string_view> pathComponents = split(path), baseComponents = split(base);
    for (auto* components : {&pathComponents, &baseComponents})
        if (components->back().empty())
            components->pop_back();

    std::size_t common = 0;
    while (common != pathComponents.size() && common != baseComponents.size() &&
           pathComponents[common] == baseComponents[common])
        ++common;

    std::vector<std::string_view> result(baseComponents.size() - common, "..");
    result.insert(result.end(), pathComponents.begin() + std::ptrdiff_t(common),
                  pathComponents.end());
    return join(result);
}

bool isParentPath(std::string_view parent, std::string_view child) {
    if (parent.empty() || child.empty())
        return false;

    const std::string absoluteParent = absolute(parent), absoluteChild = absolute(child);
    const std::vector<std::string_view> parentComponents = splitNonEmpty(absoluteParent),
                                        childComponents = splitNonEmpty(absoluteChild);
    return parentComponents.size() < childComponents.size() &&
           std::equal(parentComponents.begin(), parentComponents.end(), childComponents.begin());
}

std::string upwardsSearch(std::string_view directory, std::string_view name) {
    while (!directory.empty()) {
        std::string candidate{directory};
        candidate += '/';
        candidate += name;
        std::error_code error;
        if (std::filesystem::exists(candidate, error))
            return std::string{directory};

        const std::size_t slash = directory.rfind('/');
        if (slash == std::string_view::npos)
            break;
        directory = directory.substr(0, slash);
    }
    return {};
}

} // namespace ZarvikEngine::Path
