#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/ImportedSceneCache.h"
#include "ZarvikEngine/Tools/MeshFormat.h"
#include "ZarvikEngine/Tools/Normals.h"
#include "ZarvikEngine/Tools/Tangents.h"

namespace {

using namespace ZarvikEngine;
using Trade::MeshAttribute;

/* Positions, texture coordinates, normals, tangents and four-influence skinning at full
   precision, with random values in range */
Trade::MeshData skinnedMesh(std::uint32_t vertexCount) {
    using F = MeshDataFlag;
    const MeshDataFlags flags =
        F::Positions | F::TextureCoordinates | F::Normals | F::Tangents | F::Skinning;
    Trade::MeshData mesh = cloneMeshDataUninitialized(
        flags, {}, Trade::MeshData{MeshPrimitive::Triangles, std::vector<char>{}, {}, vertexCount});
    std::mt19937 random{1};
    std::uniform_real_distribution<float> signedUnit{-1.0f, 1.0f}, unit{0.0f, 1.0f};
    const auto positions = mesh.mutableAttribute<Vector3>(MeshAttribute::Position);
    const auto textureCoordinates =
        mesh.mutableAttribute<Vector2>(MeshAttribute::TextureCoordinates);
    const auto normals = mesh.mutableAttribute<Vector3>(MeshAttribute::Normal);
    const auto tangents = mesh.mutableAttribute<Vector4>(MeshAttribute::Tangent);
    const auto joints = mesh.mutableAttribute<std::uint16_t[]>(MeshAttribute::JointIds);
    const auto weights = mesh.mutableAttribute<float[]>(MeshAttribute::Weights);
    for (std::uint32_t i = 0; i != vertexCount; ++i) {
        const Vector3 direction =
            glm::normalize(Vector3{signedUnit(random), signedUnit(random), 0.5f});
        positions[i] = 10.0f * Vector3{signedUnit(random), signedUnit(random), signedUnit(random)};
        textureCoordinates[i] = {unit(random), unit(random)};
        normals[i] = direction;
        tangents[i] = {glm::normalize(glm::cross(direction, Vector3{0.0f, 0.0f, 1.0f})), 1.0f};
        for (std::size_t j = 0; j != 4; ++j) {
            joints[i][j] = std::uint16_t(random() % 128);
            weights[i][j] = unit(random) * 0.25f;
        }
    }
    return mesh;
}

void BM_PackMeshQuantized(benchmark::State& state) {
    const Trade::MeshData source = skinnedMesh(1000000);
    const MeshDataFlags flags = getMeshFlags(source);
    const std::size_t sourceSize = source.vertexData().size();
    const Trade::MeshData packedOnce = packMesh(flags, source);
    const std::size_t destinationSize = packedOnce.vertexData().size();
    /* Touched once, so that the copies below don't pay for page faults */
    std::vector<char> sourceCopy(sourceSize, 1), destinationCopy(destinationSize, 1);

    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                const Trade::MeshData packed = packMesh(flags, source);
                benchmark::DoNotOptimize(packed.vertexData().data());
            },
            /* The reference: the source and the destination bytes copied once */
            [&] {
                std::memcpy(sourceCopy.data(), source.vertexData().data(), sourceSize);
                std::memcpy(destinationCopy.data(), packedOnce.vertexData().data(),
                            destinationSize);
                benchmark::DoNotOptimize(destinationCopy.data());
            });
    state.counters["ratio_to_memcpy"] = timing.ratio();
    state.counters["memcpy_ms"] = 1000.0 * timing.referenceMedianSeconds();
    state.SetBytesProcessed(std::int64_t(state.iterations() * (sourceSize + destinationSize)));
}
BENCHMARK(BM_PackMeshQuantized)->UseManualTime()->Unit(benchmark::kMillisecond);

/* A wavy indexed grid of 1000 × 500 cells, two triangles each */
struct Grid {
    std::vector<Vector3> positions, normals;
    std::vector<Vector2> textureCoordinates;
    std::vector<Vector4> tangents;
    std::vector<std::uint32_t> indices;

    Grid(std::uint32_t columns, std::uint32_t rows) {
        for (std::uint32_t r = 0; r <= rows; ++r) {
            for (std::uint32_t c = 0; c <= columns; ++c) {
                const float x = float(c) / 100.0f, y = float(r) / 100.0f;
                positions.push_back({x, y, 0.1f * std::sin(3.0f * x) * std::cos(2.0f * y)});
                textureCoordinates.push_back({float(c) / columns, float(r) / rows});
            }
        }
        for (std::uint32_t r = 0; r != rows; ++r) {
            for (std::uint32_t c = 0; c != columns; ++c) {
                const std::uint32_t a = r * (columns + 1) + c, b = a + 1, d = a + columns + 1;
                indices.insert(indices.end(), {a, b, d + 1, a, d + 1, d});
            }
        }
        normals.resize(positions.size());
        tangents.resize(positions.size());
        MeshTools::generateSmoothNormalsInto(StridedArrayView1D<const std::uint32_t>{indices},
                                             StridedArrayView1D<const Vector3>{positions},
                                             StridedArrayView1D<Vector3>{normals});
    }

    std::size_t triangleCount() const { return indices.size() / 3; }
};

void BM_GenerateSmoothNormals(benchmark::State& state) {
    Grid grid{1000, 500};
    for (auto _ : state) {
        MeshTools::generateSmoothNormalsInto(StridedArrayView1D<const std::uint32_t>{grid.indices},
                                             StridedArrayView1D<const Vector3>{grid.positions},
                                             StridedArrayView1D<Vector3>{grid.normals});
        benchmark::ClobberMemory();
    }
    state.counters["triangles_per_second"] = benchmark::Counter(
        double(grid.triangleCount()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GenerateSmoothNormals)->Unit(benchmark::kMillisecond);

void BM_GenerateTangents(benchmark::State& state) {
    Grid grid{1000, 500};
    for (auto _ : state) {
        const bool generated = MeshTools::generateTangentsInto(
            grid.indices, StridedArrayView1D<const Vector3>{grid.positions},
            StridedArrayView1D<const Vector3>{grid.normals},
            StridedArrayView1D<const Vector2>{grid.textureCoordinates},
            StridedArrayView1D<Vector4>{grid.tangents});
        benchmark::DoNotOptimize(generated);
    }
    state.counters["triangles_per_second"] = benchmark::Counter(
        double(grid.triangleCount()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GenerateTangents)->Unit(benchmark::kMillisecond);

/* A closed fan of triangles around one vertex, all at the same texture coordinates, as a
   triangulated polygon or a mesh with a constant mapping has them: no triangle has a frame of
   its own */
void BM_GenerateTangentsDegenerateFan(benchmark::State& state) {
    const auto triangleCount = std::uint32_t(state.range(0));
    std::vector<Vector3> positions{{}};
    std::vector<std::uint32_t> indices;
    for (std::uint32_t i = 0; i != triangleCount; ++i) {
        const float angle = 2.0f * glm::pi<float>() * float(i) / float(triangleCount);
        positions.push_back({std::cos(angle), std::sin(angle), 0.0f});
        indices.insert(indices.end(), {0, 1 + i, 1 + (i + 1) % triangleCount});
    }
    const std::vector<Vector3> normals(positions.size(), Vector3{0.0f, 0.0f, 1.0f});
    const std::vector<Vector2> textureCoordinates(positions.size(), Vector2{0.5f});
    std::vector<Vector4> tangents(positions.size());
    for (auto _ : state) {
        const bool generated =
            MeshTools::generateTangentsInto(indices, StridedArrayView1D<const Vector3>{positions},
                                            StridedArrayView1D<const Vector3>{normals},
                                            StridedArrayView1D<const Vector2>{textureCoordinates},
                                            StridedArrayView1D<Vector4>{tangents});
        benchmark::DoNotOptimize(generated);
    }
}
BENCHMARK(BM_GenerateTangentsDegenerateFan)
    ->Arg(2000)
    ->Arg(8000)
    ->Arg(32000)
    ->Unit(benchmark::kMillisecond);

/* The grid as an importer hands it over: one array per attribute, 32-bit indices */
Trade::MeshData importedMesh(const Grid& grid) {
    const std::size_t count = grid.positions.size();
    const std::size_t positionsSize = count * sizeof(Vector3),
                      normalsSize = count * sizeof(Vector3),
                      coordinatesSize = count * sizeof(Vector2);
    std::vector<char> vertexData(positionsSize + normalsSize + coordinatesSize);
    std::memcpy(vertexData.data(), grid.positions.data(), positionsSize);
    std::memcpy(vertexData.data() + positionsSize, grid.normals.data(), normalsSize);
    std::memcpy(vertexData.data() + positionsSize + normalsSize, grid.textureCoordinates.data(),
                coordinatesSize);
    std::vector<char> indexData(grid.indices.size() * sizeof(std::uint32_t));
    std::memcpy(indexData.data(), grid.indices.data(), indexData.size());
    const auto vertexCount = std::uint32_t(count);
    return Trade::MeshData{
        MeshPrimitive::Triangles,
        std::move(indexData),
        Trade::MeshIndexData{MeshIndexType::UnsignedInt, 0, std::uint32_t(grid.indices.size())},
        std::move(vertexData),
        {Trade::MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3, 0, vertexCount,
                                  sizeof(Vector3)},
         Trade::MeshAttributeData{MeshAttribute::Normal, VertexFormat::Vector3, positionsSize,
                                  vertexCount, sizeof(Vector3)},
         Trade::MeshAttributeData{MeshAttribute::TextureCoordinates, VertexFormat::Vector2,
                                  positionsSize + normalsSize, vertexCount, sizeof(Vector2)}}};
}

/* An imported mesh of about a million vertices into the quantized engine layout with
   generated tangents, against generating the tangents alone */
void BM_ConvertMesh(benchmark::State& state) {
    Grid grid{1000, 999};
    const Trade::MeshData mesh = importedMesh(grid);
    const MeshDataFlags flags = MeshDataFlag::Positions | MeshDataFlag::Normals |
                                MeshDataFlag::TextureCoordinates | MeshDataFlag::Tangents;
    Bench::RatioTiming timing;
    for (auto _ : state) {
        timing.run(
            state,
            [&] {
                const Trade::MeshData converted = ImportedSceneCache::convertMesh(mesh, flags, {});
                const Trade::MeshData packed = packMesh(flags, converted);
                benchmark::DoNotOptimize(packed.vertexData().data());
            },
            [&] {
                const bool generated = MeshTools::generateTangentsInto(
                    grid.indices, StridedArrayView1D<const Vector3>{grid.positions},
                    StridedArrayView1D<const Vector3>{grid.normals},
                    StridedArrayView1D<const Vector2>{grid.textureCoordinates},
                    StridedArrayView1D<Vector4>{grid.tangents});
                benchmark::DoNotOptimize(generated);
            });
    }
    state.counters["ratio_to_tangents"] = timing.ratio();
    state.counters["vertices"] = double(grid.positions.size());
}
BENCHMARK(BM_ConvertMesh)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
