#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb_image.h>

#include "Commands.h"
#include "Preview.h"
#include "SampleAssetFile.h"
#include "ToolTestHelpers.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/MeshRecords.h"

namespace ZarvikEngine::Tool {
namespace {

/* RGBA8 pixels, rows from the top */
struct Picture {
    int width{}, height{};
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* at(int x, int y) const {
        return pixels.data() + 4 * (std::size_t(y) * std::size_t(width) + std::size_t(x));
    }
};

Picture readPng(const std::string& path) {
    Picture picture;
    int channels;
    if (std::uint8_t* data =
            stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 4)) {
        picture.pixels.assign(data, data + 4 * picture.width * picture.height);
        stbi_image_free(data);
    }
    return picture;
}

/* The base color at a light intensity, as RGB8 */
std::array<float, 3> lit(float intensity) {
    const Vector3 color = Preview::baseColor() * intensity * 255.0f;
    return {color.x, color.y, color.z};
}

/* What a picture shows: the fraction of pixels lit like the base color, after checking that
   every other pixel is the background exactly */
double coveredFraction(const Picture& picture) {
    std::size_t covered = 0, background = 0;
    for (int y = 0; y != picture.height; ++y)
        for (int x = 0; x != picture.width; ++x) {
            const std::uint8_t* pixel = picture.at(x, y);
            if (std::equal(pixel, pixel + 4, Preview::Background.begin())) {
                ++background;
                continue;
            }
            /* A shade of the base color: all channels in its proportions */
            const float intensity = float(pixel[0]) / lit(1.0f)[0];
            const std::array<float, 3> expected = lit(intensity);
            if (intensity >= Preview::Ambient - 0.02f && intensity <= 1.01f &&
                std::abs(pixel[1] - expected[1]) <= 2.0f &&
                std::abs(pixel[2] - expected[2]) <= 2.0f)
                ++covered;
        }
    EXPECT_EQ(covered + background, picture.pixels.size() / 4);
    return double(covered) / double(picture.pixels.size() / 4);
}

void expectCentreLit(const Picture& picture, const Vector3& normal) {
    const float cosine = std::max(glm::dot(normal, Preview::lightDirection()), 0.0f);
    const std::array<float, 3> expected =
        lit(Preview::Ambient + (1.0f - Preview::Ambient) * cosine);
    const std::uint8_t* centre = picture.at(picture.width / 2, picture.height / 2);
    for (int i = 0; i != 3; ++i)
        EXPECT_NEAR(centre[i], expected[i], 1.5f) << i;
}

/* Area of the convex hull of the points, by the monotone chain */
double hullArea(std::vector<Vector2> points) {
    std::sort(points.begin(), points.end(), [](const Vector2& a, const Vector2& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    const auto cross = [](const Vector2& o, const Vector2& a, const Vector2& b) {
        return double(a.x - o.x) * (b.y - o.y) - double(a.y - o.y) * (b.x - o.x);
    };
    std::vector<Vector2> hull;
    for (int pass = 0; pass != 2; ++pass) {
        const std::size_t start = hull.size();
        for (const Vector2& point : points) {
            while (hull.size() >= start + 2 &&
                   cross(hull[hull.size() - 2], hull.back(), point) <= 0)
                hull.pop_back();
            hull.push_back(point);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    double area = 0.0;
    for (std::size_t i = 0; i != hull.size(); ++i)
        area += cross({}, hull[i], hull[(i + 1) % hull.size()]);
    return area / 2.0;
}

/* A sphere of radius 1 around the origin with outward normals, 64 × 32 quads */
std::vector<char> sphereFile() {
    struct Vertex {
        Vector3 position, normal;
    };
    constexpr int Around = 64, Along = 32;
    std::vector<Vertex> vertices;
    for (int j = 0; j <= Along; ++j)
        for (int i = 0; i <= Around; ++i) {
            const float theta = float(M_PI) * float(j) / Along;
            const float phi = 2.0f * float(M_PI) * float(i) / Around;
            const Vector3 point{std::sin(theta) * std::cos(phi), std::cos(theta),
                                std::sin(theta) * std::sin(phi)};
            vertices.push_back({point, point});
        }
    std::vector<std::uint32_t> indices;
    for (int j = 0; j != Along; ++j)
        for (int i = 0; i != Around; ++i) {
            const std::uint32_t first = std::uint32_t(j * (Around + 1) + i);
            for (const std::uint32_t corner : {0u, 1u, Around + 2u, 0u, Around + 2u, Around + 1u})
                indices.push_back(first + corner);
        }
    std::vector<char> indexData(indices.size() * 4), vertexData(vertices.size() * sizeof(Vertex));
    std::memcpy(indexData.data(), indices.data(), indexData.size());
    std::memcpy(vertexData.data(), vertices.data(), vertexData.size());
    const std::uint32_t count = std::uint32_t(vertices.size());
    const Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        std::move(indexData),
        Trade::MeshIndexData{MeshIndexType::UnsignedInt, 0, std::uint32_t(indices.size())},
        std::move(vertexData),
        {Trade::MeshAttributeData{Trade::MeshAttribute::Position, VertexFormat::Vector3, 0, count,
                                  sizeof(Vertex)},
         Trade::MeshAttributeData{Trade::MeshAttribute::Normal, VertexFormat::Vector3,
                                  sizeof(Vector3), count, sizeof(Vertex)}}};
    std::vector<char> file;
    Data::appendHeaderData(file);
    Data::createMeshChunk(mesh, {}, {}, BoundingSphere{{}, 1.0f}, file);
    Data::updateHeaderData(file);
    return file;
}

/* The preview of one mesh of the file into a picture */
Picture render(const std::vector<char>& file, std::optional<std::uint32_t> mesh) {
    const std::string path = temporaryPath("preview.zvk"), png = temporaryPath("preview.png");
    write(path, file);
    PreviewOptions options{path, png, mesh, 256, 256};
    const Output output = capture([&] { return preview(options); });
    EXPECT_EQ(output.status, Success) << output.err;
    EXPECT_EQ(output.err, "");
    return readPng(png);
}

TEST(Preview, ShowsTheSampleCubeLitAsItsFacesFaceTheLight) {
    const Picture picture = render(sampleAssetFile(), 0);
    ASSERT_EQ(picture.width, 256);
    ASSERT_EQ(picture.height, 256);

    /* The silhouette of a convex body is the hull of its projected corners */
    const Preview::Camera camera = Preview::frame(BoundingSphere{{}, std::sqrt(3.0f)}, 1.0f);
    std::vector<Vector2> corners;
    for (int i = 0; i != 8; ++i) {
        const Vector4 clip =
            camera.projection * camera.worldToView *
            Vector4{i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f, 1.0f};
        corners.push_back(Vector2{clip} / clip.w);
    }
    const double expected = hullArea(corners) / 4.0;
    EXPECT_NEAR(coveredFraction(picture), expected, 0.01 * expected);
    /* The view's centre ray meets the +Z face */
    expectCentreLit(picture, {0.0f, 0.0f, 1.0f});
}

TEST(Preview, ShowsASphereAsADiscOfTheSizeItsDistanceGives) {
    const Picture picture = render(sphereFile(), std::nullopt);
    /* Seen from distance d, a sphere of radius r spans a cone of half-angle asin(r / d) */
    const float halfAngle = Preview::VerticalFieldOfView / 2.0f;
    const float sphereAngle = std::asin(std::sin(halfAngle) / 1.1f);
    const double radius = std::tan(sphereAngle) / std::tan(halfAngle);
    const double expected = M_PI * radius * radius / 4.0;
    EXPECT_NEAR(coveredFraction(picture), expected, 0.015 * expected);
    expectCentreLit(picture, Preview::viewDirection());
}

TEST(Preview, RendersEveryMeshAtAnySizeAndReportsWhatItCant) {
    const std::string path = temporaryPath("sample.zvk"), png = temporaryPath("sample.png");
    write(path, sampleAssetFile());
    EXPECT_EQ(runExecutable("preview " + path + " " + png + " --size 320 200"), Success);
    const Picture picture = readPng(png);
    EXPECT_EQ(picture.width, 320);
    EXPECT_EQ(picture.height, 200);
    EXPECT_GT(coveredFraction(picture), 0.05);

    const Output missing = capture([&] { return preview({path, png, 9, 64, 64}); });
    EXPECT_EQ(missing.status, Failure);
    EXPECT_EQ(missing.err, "zarvik: " + path + ": there is no mesh 9, the file has 3\n");

    std::vector<char> empty;
    Data::appendHeaderData(empty);
    Data::updateHeaderData(empty);
    write(path, empty);
    const Output nothing = capture([&] { return preview({path, png, {}, 64, 64}); });
    EXPECT_EQ(nothing.status, Failure);
    EXPECT_EQ(nothing.err, "zarvik: " + path + ": there are no meshes to preview\n");

    EXPECT_EQ(runExecutable("preview " + path + " " + png + " --size 0 10"), Usage);
    EXPECT_EQ(runExecutable("preview " + path + " " + png + " --mesh x"), Usage);
}

} // namespace
} // namespace ZarvikEngine::Tool
