#include "ZarvikEngine/Data/AnimationImport.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

namespace {

using Skeletal::RawAnimation;

/* Fills keys from the track unless an earlier call filled them; the time of the last key
   copied, if any */
template<class Key, class V>
std::optional<float> copyKeys(std::vector<Key>& keys,
                              const ZarvikEngine::Animation::TrackView<V>& track) {
    if (!keys.empty() || track.size() == 0)
        return {};
    keys.reserve(track.size());
    for (std::size_t i = 0; i != track.size(); ++i)
        keys.push_back({track.keys()[i], track.values()[i]});
    return keys.back().time;
}

/* Heading (about y), attitude (about z) and bank (about x) */
Vector3 toEulerAngles(const Quaternion& q) {
    const float sx = q.x * q.x, sy = q.y * q.y, sz = q.z * q.z, sw = q.w * q.w;
    const float unit = sx + sy + sz + sw;
    const float test = q.x * q.y + q.z * q.w;
    /* At the poles heading and bank turn about the same axis: all of it goes to heading */
    if (test > 0.499f * unit)
        return {2.0f * std::atan2(q.x, q.w), glm::half_pi<float>(), 0.0f};
    if (test < -0.499f * unit)
        return {-2.0f * std::atan2(q.x, q.w), -glm::half_pi<float>(), 0.0f};
    return {std::atan2(2.0f * q.y * q.w - 2.0f * q.x * q.z, sx - sy - sz + sw),
            std::asin(2.0f * test / unit),
            std::atan2(2.0f * q.x * q.w - 2.0f * q.y * q.z, -sx + sy - sz + sw)};
}

Quaternion fromEulerAngles(const Vector3& angles) {
    const float c1 = std::cos(angles[0] / 2.0f), s1 = std::sin(angles[0] / 2.0f);
    const float c2 = std::cos(angles[1] / 2.0f), s2 = std::sin(angles[1] / 2.0f);
    const float c3 = std::cos(angles[2] / 2.0f), s3 = std::sin(angles[2] / 2.0f);
    return quaternionFromXyzw(s1 * s2 * c3 + c1 * c2 * s3, s1 * c2 * c3 + c1 * s2 * s3,
                              c1 * s2 * c3 - s1 * c2 * s3, c1 * c2 * c3 - s1 * s2 * s3);
}

bool isSelected(std::uint8_t axes, int i) {
    return axes & (1 << i);
}

/* Moves the parts of the source's keys that axes selects into root. split(source value,
   root value, first source value) divides one key for masks other than 0 and 7. */
template<class Key, class Split>
void splitKeys(std::vector<Key>& source, std::vector<Key>& root, std::uint8_t axes,
               const Key& identity, Split split) {
    if (axes == 7) {
        root = std::move(source);
        source.clear();
        if (!root.empty())
            source.push_back(root.front());
    } else if (axes == 0) {
        root = {identity};
    } else if (!source.empty()) {
        const auto first = source.front().value;
        root.reserve(source.size());
        for (Key& key : source) {
            root.push_back({key.time, {}});
            split(key.value, root.back().value, first);
        }
    }
}

} // namespace

std::pair<RawAnimation, std::vector<Id>>
convertToOzzData(const Trade::AnimationData& anim, std::span<const std::uint16_t> inTargets) {
    ZE_INTERNAL_ASSERT(anim.trackCount() == inTargets.size());
    std::pair<RawAnimation, std::vector<Id>> result;
    if (inTargets.empty())
        return result;
    auto& [raw, targets] = result;
    raw.duration = anim.duration().max();

    /* Offline track of each object, -1 until the object is first met */
    const auto [lowest, highest] = std::ranges::minmax(inTargets);
    std::vector<std::int32_t> trackOf(std::size_t(highest - lowest) + 1, -1);
    for (const std::uint16_t target : inTargets) {
        if (target == InvalidIndex)
            continue;
        std::int32_t& track = trackOf[target - lowest];
        if (track == -1) {
            track = std::int32_t(targets.size());
            targets.push_back(Id(target));
        }
    }
    raw.tracks.resize(targets.size());

    /* Backwards, so that of several tracks animating one property the last one is kept */
    for (std::uint32_t i = anim.trackCount(); i-- != 0;) {
        if (inTargets[i] == InvalidIndex)
            continue;
        RawAnimation::Track& track = raw.tracks[std::size_t(trackOf[inTargets[i] - lowest])];
        std::optional<float> lastTime;
        switch (anim.trackTargetName(i)) {
        case Trade::AnimationTrackTarget::Translation3D:
            lastTime = copyKeys(track.translations, anim.track<Vector3>(i));
            break;
        case Trade::AnimationTrackTarget::Rotation3D:
            lastTime = copyKeys(track.rotations, anim.track<Quaternion>(i));
            break;
        case Trade::AnimationTrackTarget::Scaling3D:
            lastTime = copyKeys(track.scales, anim.track<Vector3>(i));
            break;
        default:
            break;
        }
        if (lastTime)
            raw.duration = std::max(raw.duration, *lastTime);
    }
    return result;
}

void generateRootMotion(RawAnimation& animation, std::vector<Id>& targets,
                        const RootMotionConfig& config) {
    if (animation.tracks.empty())
        return;
    ZE_ASSERT(config.track < animation.tracks.size(), "generateRootMotion(): track"
                                                          << config.track << "out of range for"
                                                          << animation.tracks.size() << "tracks");
    ZE_ASSERT(targets.size() == animation.tracks.size(),
              "generateRootMotion(): expected" << animation.tracks.size() << "targets but got"
                                               << targets.size());

    RawAnimation::Track root;
    root.scales = {{0.0f, Vector3{1.0f}}};
    RawAnimation::Track& source = animation.tracks[config.track];

    splitKeys(source.translations, root.translations, config.translationAxes, {0.0f, Vector3{}},
              [&](Vector3& value, Vector3& rootValue, const Vector3& first) {
                  for (int i = 0; i != 3; ++i) {
                      if (!isSelected(config.translationAxes, i))
                          continue;
                      rootValue[i] = value[i];
                      value[i] = first[i];
                  }
              });

    splitKeys(source.rotations, root.rotations, config.rotationAxes, {0.0f, Quaternion{}},
              [&](Quaternion& value, Quaternion& rootValue, const Quaternion& first) {
                  const Vector3 firstAngles = toEulerAngles(first);
                  Vector3 angles = toEulerAngles(value);
                  Vector3 rootAngles{};
                  for (int i = 0; i != 3; ++i) {
                      if (!isSelected(config.rotationAxes, i))
                          continue;
                      rootAngles[i] = angles[i];
                      angles[i] = firstAngles[i];
                  }
                  value = fromEulerAngles(angles);
                  rootValue = fromEulerAngles(rootAngles);
              });

    animation.tracks.insert(animation.tracks.begin(), std::move(root));
    targets.insert(targets.begin(), Id(0));
}

void subdivideRotations(RawAnimation& animation, float maxAngle) {
    for (RawAnimation::Track& track : animation.tracks) {
        std::vector<RawAnimation::RotationKey> keys;
        keys.reserve(track.rotations.size());
        for (std::size_t i = 0; i != track.rotations.size(); ++i) {
            if (i != 0) {
                const RawAnimation::RotationKey& from = track.rotations[i - 1];
                const RawAnimation::RotationKey& to = track.rotations[i];
                const float cosine = std::min(std::abs(glm::dot(from.value, to.value)), 1.0f);
                const float angle = 2.0f * std::acos(cosine);
                /* NaN keys stay as they are */
                const std::size_t parts =
                    angle > maxAngle ? std::size_t(std::ceil(angle / maxAngle)) : 1;
                for (std::size_t part = 1; part < parts; ++part) {
                    const float t = float(part) / float(parts);
                    keys.push_back({from.time + (to.time - from.time) * t,
                                    slerpShortestPath(from.value, to.value, t)});
                }
            }
            keys.push_back(track.rotations[i]);
        }
        track.rotations = std::move(keys);
    }
}

} // namespace ZarvikEngine::Data
