#include "ZarvikEngine/Tools/Tangents.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "ZarvikEngine/Tools/Angle.h"
#include "ZarvikEngine/Tools/HugePages.h"
#include "ZarvikEngine/Tools/Normals.h"

namespace ZarvikEngine::MeshTools {

namespace {

/* Frames of a group merge when both their tangents and their bitangents are closer than this.
   The algorithm's default of 180° lets everything but exactly opposite frames merge. */
constexpr float AngularThresholdDegrees = 180.0f;
const float AngularThresholdCosine = std::cos(glm::radians(AngularThresholdDegrees));

constexpr std::uint32_t Empty = ~0u;

enum FaceFlag : std::uint8_t {
    /* Two corners are the same vertex */
    Degenerate = 1 << 0,
    /* No usable frame (zero area in texture space or collinear positions): joins any group */
    GroupWithAny = 1 << 1,
    /* Positive area in texture space */
    OrientPreserving = 1 << 2,
    /* The orientation is known */
    Resolved = 1 << 3,
};

/* A regular triangle without a texture mapping, before it takes a neighbour's orientation */
bool lacksOrientation(std::uint8_t face) {
    return !(face & (Resolved | Degenerate));
}

/* Directions of increasing u and v on a triangle, unit length or zero. Kept apart from the
   flags, which the passes over all triangles read alone. */
struct Frame {
    Vector3 tangent;
    Vector3 bitangent;
};

using Implementation::normalizedOrZero;

Vector3 normalizedOrZero(const Vector3& vector) {
    const float length = glm::length(vector);
    if (Implementation::isModerate(length)) [[likely]]
        return vector * (1.0f / length);
    /* So far from unit length that the squares overflow or underflow floats */
    return normalizedOrZero(glm::dvec3{vector});
}

/* The part of the vector orthogonal to the unit (or zero) normal, normalized */
Vector3 projected(const Vector3& vector, const Vector3& normal) {
    return normalizedOrZero(vector - normal * glm::dot(normal, vector));
}

/* A unit vector orthogonal to the unit (or zero) normal, for frames nothing defines */
Vector3 anyTangent(const Vector3& normal) {
    const Vector3 axis =
        std::abs(normal.x) < 0.9f ? Vector3{1.0f, 0.0f, 0.0f} : Vector3{0.0f, 1.0f, 0.0f};
    return projected(axis, normal);
}

/* The vertex attributes that identify a vertex, with negative zeros made positive so that
   equal values compare equal bitwise */
struct VertexKey {
    std::uint32_t bits[8];

    VertexKey(const Vector3& position, const Vector3& normal, const Vector2& textureCoordinates) {
        const float values[8]{position.x, position.y, position.z,           normal.x,
                              normal.y,   normal.z,   textureCoordinates.x, textureCoordinates.y};
        for (std::size_t i = 0; i != 8; ++i)
            bits[i] = std::bit_cast<std::uint32_t>(values[i] + 0.0f);
    }

    bool operator==(const VertexKey& other) const {
        return std::memcmp(bits, other.bits, sizeof(bits)) == 0;
    }

    std::uint64_t hash() const {
        std::uint64_t hash = 0;
        for (const std::uint32_t word : bits)
            hash = (hash ^ word) * 0x9e3779b97f4a7c15ull;
        return hash ^ (hash >> 29);
    }
};

/* Gives every vertex the id of the first vertex with equal position, normal and texture
   coordinates, numbered densely from 0; returns the number of ids */
std::uint32_t weldVertices(const StridedArrayView1D<const Vector3>& positions,
                           const StridedArrayView1D<const Vector3>& normals,
                           const StridedArrayView1D<const Vector2>& textureCoordinates,
                           Implementation::HugePageVector<std::uint32_t>& ids) {
    const std::size_t vertexCount = positions.size();
    const auto keyOf = [&](std::size_t v) {
        return VertexKey{positions[v], normals[v], textureCoordinates[v]};
    };

    /* Open addressing, at most half full. Each slot holds a vertex index with the upper half
       of its key's hash, so that probing past other keys rarely reads their vertices. */
    const std::size_t mask = std::bit_ceil(std::max<std::size_t>(2 * vertexCount, 16)) - 1;
    constexpr std::uint64_t EmptySlot = ~std::uint64_t{};
    Implementation::HugePageVector<std::uint64_t> table(mask + 1, EmptySlot);
    ids.resize(vertexCount);
    std::uint32_t count = 0;
    for (std::size_t v = 0; v != vertexCount; ++v) {
        const VertexKey key = keyOf(v);
        const std::uint64_t hash = key.hash();
        const std::uint64_t tag = hash & 0xffffffff00000000ull;
        std::size_t slot = hash & mask;
        while (table[slot] != EmptySlot && ((table[slot] & 0xffffffff00000000ull) != tag ||
                                            !(keyOf(std::uint32_t(table[slot])) == key)))
            slot = (slot + 1) & mask;
        if (table[slot] == EmptySlot) {
            table[slot] = tag | v;
            ids[v] = count++;
        } else
            ids[v] = ids[std::uint32_t(table[slot])];
    }
    return count;
}

/* The welded vertex of each corner of the triangle list */
struct WeldedCorners {
    std::span<const std::uint32_t> indices;
    std::span<const std::uint32_t> ids;

    std::size_t size() const { return indices.size(); }
    std::uint32_t operator[](std::size_t corner) const { return ids[indices[corner]]; }
};

/* The corners of the regular triangles at each welded vertex */
struct CornersByVertex {
    Implementation::HugePageVector<std::uint32_t> offsets;
    Implementation::HugePageVector<std::uint32_t> corners;

    std::span<const std::uint32_t> of(std::uint32_t vertex) const {
        return std::span{corners}.subspan(offsets[vertex], offsets[vertex + 1] - offsets[vertex]);
    }
};

CornersByVertex cornersByVertex(const WeldedCorners& cornerVertices,
                                std::span<const std::uint8_t> faces, std::uint32_t vertexCount) {
    /* Counted into the entry of each vertex, summed up to the vertex's end, then filled from
       the back, so that each entry moves down to the vertex's begin */
    CornersByVertex result{Implementation::HugePageVector<std::uint32_t>(vertexCount + 1, 0), {}};
    for (std::size_t c = 0; c != cornerVertices.size(); ++c)
        if (!(faces[c / 3] & Degenerate))
            ++result.offsets[cornerVertices[c]];
    for (std::uint32_t v = 1; v <= vertexCount; ++v)
        result.offsets[v] += result.offsets[v - 1];
    result.corners.resize(result.offsets.back());
    for (std::size_t c = cornerVertices.size(); c-- != 0;)
        if (!(faces[c / 3] & Degenerate))
            result.corners[--result.offsets[cornerVertices[c]]] = std::uint32_t(c);
    return result;
}

/* The signed area in texture space and the directions of increasing u and v times it, from a
   triangle's edges and texture coordinate differences, in float or double precision */
template<class T>
struct FrameTerms {
    T signedArea;
    glm::vec<3, T> tangent, bitangent;

    FrameTerms(const glm::vec<3, T>& edge1, const glm::vec<3, T>& edge2, const glm::vec<2, T>& uv1,
               const glm::vec<2, T>& uv2)
        : signedArea{uv1.x * uv2.y - uv1.y * uv2.x},
          /* Solving edge = Δu·T + Δv·B for T and B */
          tangent{uv2.y * edge1 - uv1.y * edge2}, bitangent{uv1.x * edge2 - uv2.x * edge1} {}

    bool isFinite() const {
        return std::isfinite(signedArea + tangent.x + tangent.y + tangent.z + bitangent.x +
                             bitangent.y + bitangent.z);
    }
};

/* Writes the triangle's frame from its terms, returns its flags */
template<class T>
std::uint8_t frameOf(const FrameTerms<T>& terms, Frame& frame) {
    if (!(std::abs(terms.signedArea) > FLT_MIN))
        return GroupWithAny;

    /* A mirrored mapping flips both so that they point along increasing u and v */
    const T sign = terms.signedArea > 0 ? 1 : -1;
    frame = {normalizedOrZero(sign * terms.tangent), normalizedOrZero(sign * terms.bitangent)};
    const auto flags = std::uint8_t(Resolved | (terms.signedArea > 0 ? OrientPreserving : 0));
    /* Collinear positions leave no direction to average, the orientation stays */
    if (frame.tangent == Vector3{0.0f} || frame.bitangent == Vector3{0.0f})
        return flags | GroupWithAny;
    return flags;
}

/* Writes the triangle's frame from its positions and texture coordinates, returns its flags */
std::uint8_t faceFrame(const Vector3 (&positions)[3], const Vector2 (&textureCoordinates)[3],
                       Frame& frame) {
    const FrameTerms<float> terms{positions[1] - positions[0], positions[2] - positions[0],
                                  textureCoordinates[1] - textureCoordinates[0],
                                  textureCoordinates[2] - textureCoordinates[0]};
    if (terms.isFinite()) [[likely]]
        return frameOf(terms, frame);
    /* Differences or products that overflowed floats, which they don't in double precision */
    const glm::dvec3 position{positions[0]};
    const glm::dvec2 mapping{textureCoordinates[0]};
    return frameOf(FrameTerms<double>{glm::dvec3{positions[1]} - position,
                                      glm::dvec3{positions[2]} - position,
                                      glm::dvec2{textureCoordinates[1]} - mapping,
                                      glm::dvec2{textureCoordinates[2]} - mapping},
                   frame);
}

/* The sine and cosine terms of the angle between two edges of a corner, measured in the
   tangent plane of the unit (or zero) normal, in float or double precision, the sine term
   being the length of their cross product */
template<class Vector, class Length>
std::pair<typename Vector::value_type, typename Vector::value_type>
cornerTerms(const Vector& toNext, const Vector& toPrevious, const Vector& normal, Length length) {
    const Vector inPlaneNext = toNext - normal * glm::dot(normal, toNext);
    const Vector inPlanePrevious = toPrevious - normal * glm::dot(normal, toPrevious);
    return {length(glm::cross(inPlaneNext, inPlanePrevious)),
            glm::dot(inPlaneNext, inPlanePrevious)};
}

/* glm::length() as a function object, which the compiler inlines where a pointer to it would
   be called */
constexpr auto lengthOf = [](const auto& vector) { return glm::length(vector); };

/* The angle of a corner whose float cross product is too short or too long for its squares, or
   whose cosine term overflowed. Edges that are fine in floats give terms as exact as floats
   allow; others are taken in double precision. */
[[gnu::noinline]] float cornerAnglePrecisely(const Vector3& position, const Vector3& next,
                                             const Vector3& previous, const Vector3& normal) {
    const Vector3 toNext = next - position, toPrevious = previous - position;
    if (Implementation::areModerate(toNext, toPrevious)) {
        const auto [sine, cosine] =
            cornerTerms(toNext, toPrevious, normal,
                        [](const Vector3& cross) { return Implementation::preciseLength(cross); });
        return Implementation::angleOf(sine, cosine);
    }
    const glm::dvec3 corner{position};
    const auto [sine, cosine] = cornerTerms(
        glm::dvec3{next} - corner, glm::dvec3{previous} - corner, glm::dvec3{normal}, lengthOf);
    return Implementation::angleOf(sine, cosine);
}

/* The angle between two edges of a corner in the tangent plane of the unit (or zero) normal */
float cornerAngle(const Vector3& position, const Vector3& next, const Vector3& previous,
                  const Vector3& normal) {
    const auto [sine, cosine] = cornerTerms(next - position, previous - position, normal, lengthOf);
    if (Implementation::isModerate(sine) && std::isfinite(cosine)) [[likely]]
        return Implementation::angleOf(sine, cosine);
    return cornerAnglePrecisely(position, next, previous, normal);
}

/* The triangles on the edges at the vertices of triangles that have no orientation of their
   own yet, which are the edges orientations spread over. Each edge is found from its lower
   vertex, so that every such vertex's corners are gone through once however many there are. */
class EdgeFaces {
public:
    EdgeFaces(std::span<const std::uint8_t> faces, const WeldedCorners& cornerVertices,
              const CornersByVertex& byVertex, std::uint32_t vertexCount)
        : _edges(cornerVertices.size(), Empty), _nextOnEdge(cornerVertices.size()) {
        std::vector<bool> needed(vertexCount);
        for (std::size_t f = 0; f != faces.size(); ++f)
            if (lacksOrientation(faces[f]))
                for (std::size_t k = 0; k != 3; ++k)
                    needed[cornerVertices[3 * f + k]] = true;

        /* The edge from the current vertex to each higher one; entries below the current
           vertex's first edge are left from earlier vertices */
        std::vector<std::uint32_t> edgeTo(vertexCount, Empty);
        for (std::uint32_t a = 0; a != vertexCount; ++a) {
            if (!needed[a])
                continue;
            const auto firstEdge = std::uint32_t(_firsts.size());
            /* From the last triangle, so that each edge lists its triangles in order */
            const std::span<const std::uint32_t> corners = byVertex.of(a);
            for (auto corner = corners.rbegin(); corner != corners.rend(); ++corner) {
                const std::size_t face = *corner / 3, k = *corner % 3;
                const std::size_t next = (k + 1) % 3, previous = (k + 2) % 3;
                /* Edge k of the triangle leads to the next corner, the previous corner's edge
                   leads here */
                for (const auto& [other, triangleEdge] :
                     {std::pair{next, k}, {previous, previous}}) {
                    const std::uint32_t b = cornerVertices[3 * face + other];
                    if (b < a)
                        continue;
                    if (edgeTo[b] == Empty || edgeTo[b] < firstEdge) {
                        edgeTo[b] = std::uint32_t(_firsts.size());
                        _firsts.push_back(Empty);
                    }
                    const std::size_t slot = 3 * face + triangleEdge;
                    _edges[slot] = edgeTo[b];
                    _nextOnEdge[slot] = _firsts[edgeTo[b]];
                    _firsts[edgeTo[b]] = std::uint32_t(slot);
                }
            }
        }
    }

    std::size_t size() const { return _firsts.size(); }

    /* The edge from corner k of the triangle to the next one */
    std::uint32_t edge(std::size_t face, std::size_t k) const { return _edges[3 * face + k]; }

    /* Calls visit(face) for the triangles on the edge in ascending order */
    template<class Visit>
    void forEachFace(std::uint32_t edge, Visit&& visit) const {
        for (std::uint32_t slot = _firsts[edge]; slot != Empty; slot = _nextOnEdge[slot])
            visit(slot / 3);
    }

private:
    /* By triangle edge: its edge and the next triangle edge on it */
    Implementation::HugePageVector<std::uint32_t> _edges, _nextOnEdge;
    /* By edge: its first triangle edge */
    std::vector<std::uint32_t> _firsts;
};

/* Triangles without a texture mapping take the orientation of a neighbour across an edge,
   spreading from the regular ones; those with none at all count as preserving. Each takes the
   first neighbour found resolved, in the order of its edges and then of the triangles. */
void resolveOrientations(std::span<std::uint8_t> faces, const WeldedCorners& cornerVertices,
                         const CornersByVertex& byVertex, std::uint32_t vertexCount) {
    /* Meshes mapped everywhere have nothing to spread */
    if (std::none_of(faces.begin(), faces.end(), lacksOrientation))
        return;
    const EdgeFaces edgeFaces{faces, cornerVertices, byVertex, vertexCount};

    /* The first resolved triangle on each edge, updated as triangles get resolved in order */
    std::vector<std::uint32_t> firstResolved(edgeFaces.size(), Empty);
    for (std::uint32_t e = 0; e != edgeFaces.size(); ++e)
        edgeFaces.forEachFace(e, [&](std::uint32_t face) {
            if (firstResolved[e] == Empty && (faces[face] & Resolved))
                firstResolved[e] = face;
        });

    std::vector<std::uint32_t> queue;
    for (std::uint32_t f = 0; f != faces.size(); ++f) {
        if (!lacksOrientation(faces[f]))
            continue;
        std::uint32_t neighbour = Empty;
        for (std::size_t k = 0; k != 3 && neighbour == Empty; ++k)
            neighbour = firstResolved[edgeFaces.edge(f, k)];
        if (neighbour == Empty)
            continue;
        faces[f] |= Resolved | (faces[neighbour] & OrientPreserving);
        queue.push_back(f);
        for (std::size_t k = 0; k != 3; ++k) {
            std::uint32_t& first = firstResolved[edgeFaces.edge(f, k)];
            first = std::min(first, f);
        }
    }

    /* Taking a triangle off the queue resolves every triangle on its edges, so each edge is
       gone through once */
    std::vector<bool> spread(edgeFaces.size());
    while (!queue.empty()) {
        const std::uint32_t f = queue.back();
        queue.pop_back();
        for (std::size_t k = 0; k != 3; ++k) {
            const std::uint32_t edge = edgeFaces.edge(f, k);
            if (spread[edge])
                continue;
            spread[edge] = true;
            edgeFaces.forEachFace(edge, [&](std::uint32_t other) {
                if (!(faces[other] & Resolved)) {
                    faces[other] |= Resolved | (faces[f] & OrientPreserving);
                    queue.push_back(other);
                }
            });
        }
    }
    for (std::uint8_t& face : faces)
        if (!(face & Resolved))
            face |= Resolved | OrientPreserving;
}

/* Works through the triangles around one welded vertex at a time, reusing its buffers */
class FanSolver {
public:
    FanSolver(std::span<const std::uint32_t> indices, const WeldedCorners& cornerVertices,
              std::span<const std::uint8_t> faces, std::span<const Frame> frames,
              const StridedArrayView1D<const Vector3>& positions,
              const StridedArrayView1D<const Vector3>& normals,
              const StridedArrayView1D<Vector4>& tangents, std::uint32_t vertexCount)
        : _indices{indices}, _cornerVertices{cornerVertices}, _faces{faces}, _frames{frames},
          _positions{positions}, _normals{normals}, _tangents{tangents},
          _firstOnEdge(2 * std::size_t(vertexCount), Empty) {}

    void solve(std::span<const std::uint32_t> corners) {
        const Vector3 normal = normalizedOrZero(_normals[_indices[corners[0]]]);
        _entries.clear();
        for (const std::uint32_t corner : corners)
            _entries.push_back(entry(corner, normal));
        group();
        mergeFrames(normal);
        for (const Entry& entry : _entries)
            _tangents[_indices[entry.corner]] = Vector4{
                _subgroups[entry.subgroup].tangent, entry.flags & OrientPreserving ? 1.0f : -1.0f};
    }

private:
    struct Entry {
        std::uint32_t corner;
        /* The other two vertices of the triangle */
        std::uint32_t next, previous;
        std::uint8_t flags;
        /* The triangle's frame in the tangent plane of the vertex */
        Vector3 tangent, bitangent;
        /* The corner's angle in that plane */
        float angle;
        std::uint32_t group, subgroup;
    };

    struct Subgroup {
        /* The frame others are compared with; Empty for a subgroup of triangles without a
           mapping only */
        std::uint32_t leader;
        /* The group's next subgroup, in the order they were made */
        std::uint32_t next;
        /* The angle-weighted sum, then its direction */
        Vector3 tangent;
    };

    Entry entry(std::uint32_t corner, const Vector3& normal) const {
        const std::size_t face = corner / 3, first = 3 * face, k = corner % 3;
        const std::size_t next = first + (k + 1) % 3, previous = first + (k + 2) % 3;
        return {corner,
                _cornerVertices[next],
                _cornerVertices[previous],
                _faces[face],
                projected(_frames[face].tangent, normal),
                projected(_frames[face].bitangent, normal),
                cornerAngle(_positions[_indices[corner]], _positions[_indices[next]],
                            _positions[_indices[previous]], normal),
                0,
                0};
    }

    /* Triangles of equal orientation sharing an edge of the vertex end up in one group */
    void group() {
        const std::size_t count = _entries.size();
        _parents.resize(count);
        for (std::uint32_t i = 0; i != count; ++i)
            _parents[i] = i;
        /* Each edge named by its other vertex: the first entry of each orientation on it */
        const auto firstOnEdge = [&](std::uint32_t vertex, const Entry& entry) -> std::uint32_t& {
            return _firstOnEdge[2 * std::size_t(vertex) + (entry.flags & OrientPreserving ? 1 : 0)];
        };
        for (std::uint32_t i = 0; i != count; ++i) {
            for (const std::uint32_t vertex : {_entries[i].next, _entries[i].previous}) {
                std::uint32_t& representative = firstOnEdge(vertex, _entries[i]);
                if (representative == Empty)
                    representative = i;
                else
                    _parents[root(i)] = root(representative);
            }
        }
        /* Cleared for the next vertex */
        for (const Entry& entry : _entries)
            firstOnEdge(entry.next, entry) = firstOnEdge(entry.previous, entry) = Empty;
        for (std::size_t i = 0; i != count; ++i)
            _entries[i].group = root(std::uint32_t(i));
    }

    /* Regular frames join the first subgroup of their group whose leader is within the
       threshold; frames of triangles without a mapping join the group's first subgroup. Each
       group lists its own subgroups, so that many groups around a vertex stay linear. */
    void mergeFrames(const Vector3& normal) {
        _subgroups.clear();
        _firstSubgroups.assign(_entries.size(), Empty);
        for (std::uint32_t i = 0; i != _entries.size(); ++i) {
            Entry& entry = _entries[i];
            if (entry.flags & GroupWithAny)
                continue;
            std::uint32_t s = _firstSubgroups[entry.group], last = Empty;
            for (; s != Empty; last = s, s = _subgroups[s].next) {
                const Entry& leader = _entries[_subgroups[s].leader];
                if (glm::dot(entry.tangent, leader.tangent) > AngularThresholdCosine &&
                    glm::dot(entry.bitangent, leader.bitangent) > AngularThresholdCosine)
                    break;
            }
            if (s == Empty)
                s = addSubgroup(entry.group, last, i);
            _subgroups[s].tangent += entry.angle * entry.tangent;
            entry.subgroup = s;
        }
        for (Entry& entry : _entries) {
            if (!(entry.flags & GroupWithAny))
                continue;
            std::uint32_t s = _firstSubgroups[entry.group];
            if (s == Empty)
                s = addSubgroup(entry.group, Empty, Empty);
            entry.subgroup = s;
        }
        for (Subgroup& subgroup : _subgroups)
            subgroup.tangent = subgroup.tangent == Vector3{0.0f}
                                   ? anyTangent(normal)
                                   : normalizedOrZero(subgroup.tangent);
    }

    /* Appends a subgroup to the group after its last one (Empty for none) */
    std::uint32_t addSubgroup(std::uint32_t group, std::uint32_t last, std::uint32_t leader) {
        const auto s = std::uint32_t(_subgroups.size());
        (last == Empty ? _firstSubgroups[group] : _subgroups[last].next) = s;
        _subgroups.push_back({leader, Empty, {}});
        return s;
    }

    std::uint32_t root(std::uint32_t i) {
        while (_parents[i] != i)
            i = _parents[i] = _parents[_parents[i]];
        return i;
    }

    std::span<const std::uint32_t> _indices;
    WeldedCorners _cornerVertices;
    std::span<const std::uint8_t> _faces;
    std::span<const Frame> _frames;
    StridedArrayView1D<const Vector3> _positions, _normals;
    StridedArrayView1D<Vector4> _tangents;
    std::vector<Entry> _entries;
    std::vector<std::uint32_t> _parents;
    /* By welded vertex and orientation, Empty between vertices */
    Implementation::HugePageVector<std::uint32_t> _firstOnEdge;
    std::vector<Subgroup> _subgroups;
    /* By group */
    std::vector<std::uint32_t> _firstSubgroups;
};

} // namespace

bool generateTangentsInto(std::span<const std::uint32_t> indices,
                          const StridedArrayView1D<const Vector3>& positions,
                          const StridedArrayView1D<const Vector3>& normals,
                          const StridedArrayView1D<const Vector2>& textureCoordinates,
                          const StridedArrayView1D<Vector4>& tangents) {
    const std::size_t vertexCount = positions.size();
    ZE_ASSERT(indices.size() % 3 == 0,
              "MeshTools::generateTangentsInto(): index count not divisible by 3");
    ZE_ASSERT(normals.size() == vertexCount && textureCoordinates.size() == vertexCount &&
                  tangents.size() == vertexCount,
              "MeshTools::generateTangentsInto(): expected"
                  << vertexCount << "normals, texture coordinates and tangents but got"
                  << normals.size() << Debug::nospace << "," << textureCoordinates.size() << "and"
                  << tangents.size());
    if (std::any_of(indices.begin(), indices.end(),
                    [&](std::uint32_t index) { return index >= vertexCount; }))
        return false;

    Implementation::HugePageVector<std::uint32_t> weldedIds;
    const std::uint32_t weldedCount =
        weldVertices(positions, normals, textureCoordinates, weldedIds);
    const WeldedCorners cornerVertices{indices, weldedIds};
    const std::size_t faceCount = indices.size() / 3;
    Implementation::HugePageVector<std::uint8_t> faces(faceCount);
    Implementation::HugePageVector<Frame> frames(faceCount);
    for (std::size_t f = 0; f != faceCount; ++f) {
        const std::size_t first = 3 * f;
        const std::uint32_t a = cornerVertices[first], b = cornerVertices[first + 1],
                            c = cornerVertices[first + 2];
        if (a == b || b == c || a == c) {
            faces[f] = Degenerate;
            continue;
        }
        const std::uint32_t* index = &indices[first];
        faces[f] = faceFrame({positions[index[0]], positions[index[1]], positions[index[2]]},
                             {textureCoordinates[index[0]], textureCoordinates[index[1]],
                              textureCoordinates[index[2]]},
                             frames[f]);
    }

    const CornersByVertex byVertex = cornersByVertex(cornerVertices, faces, weldedCount);
    resolveOrientations(faces, cornerVertices, byVertex, weldedCount);

    FanSolver solver{indices,   cornerVertices, faces,    frames,
                     positions, normals,        tangents, weldedCount};
    for (std::uint32_t v = 0; v != weldedCount; ++v)
        if (!byVertex.of(v).empty())
            solver.solve(byVertex.of(v));

    /* Corners of degenerate triangles take the frame of a regular triangle at the same
       vertex, or any frame orthogonal to their normal */
    for (std::size_t c = 0; c != indices.size(); ++c) {
        if (!(faces[c / 3] & Degenerate))
            continue;
        const std::span<const std::uint32_t> regular = byVertex.of(cornerVertices[c]);
        tangents[indices[c]] =
            regular.empty() ? Vector4{anyTangent(normalizedOrZero(normals[indices[c]])), 1.0f}
                            : Vector4{tangents[indices[regular.front()]]};
    }
    return true;
}

} // namespace ZarvikEngine::MeshTools
