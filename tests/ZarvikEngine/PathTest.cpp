#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "ZarvikEngine/Path.h"

namespace ZarvikEngine::Path {
namespace {

TEST(Path, ClassifiesAndResolves) {
    EXPECT_TRUE(isRelative("./a"));
    EXPECT_FALSE(isRelative("/a"));
    EXPECT_FALSE(isRelative("C:"));

    /* Doubled and trailing slashes leave no empty components; the root stays */
    const std::string_view absolutes[][3]{
        {"../x/./y", "/a/b", "/a/x/y"},
        {"/already/absolute", "/a/b", "/already/absolute"},
        {"textures/../shaders/lit.glsl", "C:/project", "C:/project/shaders/lit.glsl"},
        {"x//y/", "/a/b/", "/a/b/x/y"},
        {"../../..", "/a/b", "/"}};
    for (const auto& [path, base, expected] : absolutes)
        EXPECT_EQ(absolute(path, base), expected) << path;
    const std::string cwd = std::filesystem::current_path().generic_string();
    EXPECT_EQ(absolute("x/y"), cwd + "/x/y");

    /* Relative or empty arguments leave the path as it is */
    const std::string_view relatives[][3]{{"/a/b/c/d", "/a/b/x/", "../c/d"},
                                          {"/a/b/c/", "/a/b", "c"},
                                          {"/a/b", "/a/b/c/d", "../.."},
                                          {"C:/assets/mesh.glb", "C:/assets", "mesh.glb"},
                                          {"/a/b", "/a/b", ""},
                                          {"c/d", "/a", "c/d"},
                                          {"/a/b", "", "/a/b"}};
    for (const auto& [path, base, expected] : relatives)
        EXPECT_EQ(relativeTo(path, base), expected) << path << " " << base;

    /* Whole components only; relative paths are taken against the working directory */
    EXPECT_FALSE(isParentPath("/a/b", "/a/b"));
    EXPECT_TRUE(isParentPath("/a/", "/a//b/"));
    EXPECT_FALSE(isParentPath("/a/b", "/a"));
    EXPECT_FALSE(isParentPath("/a/b", "/a/bc"));
    EXPECT_FALSE(isParentPath("", "/a"));
    EXPECT_TRUE(isParentPath(cwd, "sub/file"));
    EXPECT_TRUE(isParentPath("sub", cwd + "/sub/file"));
}

TEST(Path, SearchesUpwards) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path{testing::TempDir()} / "PathSearchesUpwards";
    fs::remove_all(root);
    fs::create_directories(root / "project/assets/meshes");
    std::ofstream{root / "project/project.json"};
    const std::string base = root.generic_string();

    EXPECT_EQ(upwardsSearch(base + "/project/assets/meshes", "project.json"), base + "/project");
    EXPECT_EQ(upwardsSearch(base + "/project", "project.json"), base + "/project");
    /* Directories count as well */
    EXPECT_EQ(upwardsSearch(base + "/project/assets/meshes", "assets"), base + "/project");
    EXPECT_EQ(upwardsSearch(base + "/project/assets", "missing.json"), "");
    EXPECT_EQ(upwardsSearch("", "project.json"), "");
    fs::remove_all(root);
}

} // namespace
} // namespace ZarvikEngine::Path
