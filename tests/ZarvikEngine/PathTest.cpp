#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "ZarvikEngine/Path.h"

namespace ZarvikEngine::Path {
namespace {

TEST(Path, ClassifiesAndResolves) {
    EXPECT_TRUE(isRelative(""));
    EXPECT_TRUE(isRelative("a/b"));
    EXPECT_TRUE(isRelative("./a"));
    EXPECT_FALSE(isRelative("/a"));
    EXPECT_FALSE(isRelative("C:/a"));
    EXPECT_FALSE(isRelative("C:"));

    EXPECT_EQ(absolute("../x/./y", "/a/b"), "/a/x/y");
    EXPECT_EQ(absolute("/already/absolute", "/a/b"), "/already/absolute");
    EXPECT_EQ(absolute("textures/../shaders/lit.glsl", "C:/project"),
              "C:/project/shaders/lit.glsl");
    /* Doubled and trailing slashes leave no empty components; the root stays */
    EXPECT_EQ(absolute("x//y/", "/a/b/"), "/a/b/x/y");
    EXPECT_EQ(absolute("../../..", "/a/b"), "/");
    EXPECT_EQ(absolute("x", "/"), "/x");

    const std::string cwd = std::filesystem::current_path().generic_string();
    EXPECT_EQ(absolute("x/y"), cwd + "/x/y");
}

TEST(Path, ExpressesPathsRelativeToBase) {
    EXPECT_EQ(relativeTo("/a/b/c/d", "/a/b/x/"), "../c/d");
    EXPECT_EQ(relativeTo("/a/b/c/", "/a/b"), "c");
    EXPECT_EQ(relativeTo("/a/b", "/a/b/c/d"), "../..");
    EXPECT_EQ(relativeTo("C:/assets/mesh.glb", "C:/assets"), "mesh.glb");
    EXPECT_EQ(relativeTo("/a/b", "/a/b"), "");
    /* Relative or empty arguments leave the path as it is */
    EXPECT_EQ(relativeTo("c/d", "/a"), "c/d");
    EXPECT_EQ(relativeTo("/a/b", "a"), "/a/b");
    EXPECT_EQ(relativeTo("/a/b", ""), "/a/b");
}

TEST(Path, RecognisesParents) {
    EXPECT_FALSE(isParentPath("/a/b", "/a/b"));
    EXPECT_TRUE(isParentPath("/a", "/a/b"));
    EXPECT_TRUE(isParentPath("C:/a", "C:/a/b/c"));
    EXPECT_TRUE(isParentPath("/a/", "/a//b/"));
    EXPECT_FALSE(isParentPath("/a/b", "/a"));
    /* Whole components only */
    EXPECT_FALSE(isParentPath("/a/b", "/a/bc"));
    EXPECT_FALSE(isParentPath("", "/a"));
    EXPECT_FALSE(isParentPath("/a", ""));
    /* Relative paths are taken against the working directory */
    const std::string cwd = std::filesystem::current_path().generic_string();
    EXPECT_TRUE(isParentPath(cwd, "sub/file"));
    EXPECT_TRUE(isParentPath("sub", cwd + "/sub/file"));
    EXPECT_FALSE(isParentPath("sub", cwd + "/other/file"));
}

TEST(Path, SearchesUpwards) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path{testing::TempDir()} / "PathSearchesUpwards";
    fs::remove_all(root);
    fs::create_directories(root / "project/assets/meshes");
    std::ofstream{root / "project/project.json"};
    std::ofstream{root / "project/assets/meshes/cube.glb"};
    const std::string base = root.generic_string();

    EXPECT_EQ(upwardsSearch(base + "/project/assets/meshes", "project.json"), base + "/project");
    EXPECT_EQ(upwardsSearch(base + "/project", "project.json"), base + "/project");
    EXPECT_EQ(upwardsSearch(base + "/project/assets/meshes", "cube.glb"),
              base + "/project/assets/meshes");
    /* Directories count as well */
    EXPECT_EQ(upwardsSearch(base + "/project/assets/meshes", "assets"), base + "/project");
    EXPECT_EQ(upwardsSearch(base + "/project/assets", "missing.json"), "");
    EXPECT_EQ(upwardsSearch("", "project.json"), "");

    fs::remove_all(root);
}

} // namespace
} // namespace ZarvikEngine::Path
