#include "ZarvikEngine/Skeletal/BlendingJob.h"

#include <cmath>

#include "ZarvikEngine/Skeletal/SoaMath.h"

namespace ZarvikEngine::Skeletal {

using namespace Simd;

/* The hot helpers are forced inline: at -O2 GCC would call them, passing the four-lane
   values through memory */

namespace {

struct Transformx4 {
    Vector3x4 translation;
    Quaternionx4 rotation;
    Vector3x4 scale;
};

[[gnu::always_inline]] inline Transformx4 load(const SoaTransform& transform) {
    return {Simd::load(transform.translation), Simd::load(transform.rotation),
            Simd::load(transform.scale)};
}

/* weight times the layer's joint weights of one element, negative ones counting as 0 */
[[gnu::always_inline]] inline Float4 trackWeights(const BlendingLayer& layer, float weight,
                                                  std::size_t element) {
    if (layer.jointWeights.empty())
        return splat(weight);
    return splat(weight) * max(loadUnaligned(&layer.jointWeights[element].x), splat(0.0f));
}

/* The rotation is negated where its dot product with the sum so far has the sign bit set, so
   that both lie in one hemisphere */
[[gnu::always_inline]] inline void accumulate(Transformx4& sum, const Transformx4& transform,
                                              Float4 weights) {
    sum.translation = sum.translation + transform.translation * weights;
    sum.rotation =
        sum.rotation +
        transform.rotation * flipSign(weights, signBits(dot(sum.rotation, transform.rotation)));
    sum.scale = sum.scale + transform.scale * weights;
}

void applyAdditive(Transformx4& pose, const Transformx4& transform, Float4 weights, bool subtract) {
    /* The layer's rotation in w ≥ 0, scaled from identity by the weight */
    const Int4 sign = signBits(transform.rotation.w);
    const Quaternionx4& rotation = transform.rotation;
    const Quaternionx4 delta =
        normalized({flipSign(rotation.x, sign) * weights, flipSign(rotation.y, sign) * weights,
                    flipSign(rotation.z, sign) * weights,
                    (flipSign(rotation.w, sign) - splat(1.0f)) * weights + splat(1.0f)});
    const Float4 one = splat(1.0f);
    const Vector3x4 scale{transform.scale.x * weights + one - weights,
                          transform.scale.y * weights + one - weights,
                          transform.scale.z * weights + one - weights};
    if (subtract) {
        pose.translation = pose.translation - transform.translation * weights;
        pose.rotation = pose.rotation * conjugated(delta);
        pose.scale = pose.scale / scale;
    } else {
        pose.translation = pose.translation + transform.translation * weights;
        pose.rotation = pose.rotation * delta;
        pose.scale = pose.scale * scale;
    }
}

bool fits(const BlendingLayer& layer, std::size_t size) {
    return layer.transform.size() >= size &&
           (layer.jointWeights.empty() || layer.jointWeights.size() >= size);
}

} // namespace

bool BlendingJob::validate() const {
    if (!(threshold > 0.0f) || restPose.empty() || output.size() < restPose.size())
        return false;
    for (std::span<const BlendingLayer> list : {layers, additiveLayers})
        for (const BlendingLayer& layer : list)
            if (!fits(layer, restPose.size()))
                return false;
    return true;
}

bool BlendingJob::run() const {
    if (!validate())
        return false;

    /* The first layer taking part, the total of the layer weights, and whether any layer has
       joint weights, in which case the rest pose is weighed per track */
    const BlendingLayer* first = nullptr;
    float total = 0.0f;
    bool partial = false;
    for (const BlendingLayer& layer : layers) {
        if (layer.weight <= 0.0f)
            continue;
        if (!first)
            first = &layer;
        total += layer.weight;
        partial = partial || !layer.jointWeights.empty();
    }
    const float restWeight = threshold - total;
    const float inverseTotal = restWeight > 0.0f ? 1.0f / threshold : 1.0f / total;
    const BlendingLayer* const end = layers.data() + layers.size();

    for (std::size_t i = 0; i != restPose.size(); ++i) {
        Transformx4 pose;
        Float4 inverseWeights = splat(1.0f);
        if (!first)
            pose = load(restPose[i]);
        else {
            Float4 weights = trackWeights(*first, first->weight, i);
            const Transformx4 transform = load(first->transform[i]);
            pose = {transform.translation * weights, transform.rotation * weights,
                    transform.scale * weights};
            for (const BlendingLayer* layer = first + 1; layer != end; ++layer) {
                if (layer->weight <= 0.0f)
                    continue;
                const Float4 layerWeights = trackWeights(*layer, layer->weight, i);
                accumulate(pose, load(layer->transform[i]), layerWeights);
                weights += layerWeights;
            }

            const Float4 threshold4 = splat(threshold);
            if (partial) {
                accumulate(pose, load(restPose[i]), max(threshold4 - weights, splat(0.0f)));
                inverseWeights = splat(1.0f) / max(weights, threshold4);
            } else {
                if (restWeight > 0.0f)
                    accumulate(pose, load(restPose[i]), splat(restWeight));
                inverseWeights = splat(inverseTotal);
            }
        }
        pose.rotation = normalized(pose.rotation);
        pose.translation = pose.translation * inverseWeights;
        pose.scale = pose.scale * inverseWeights;

        for (const BlendingLayer& layer : additiveLayers) {
            if (!(layer.weight > 0.0f || layer.weight < 0.0f))
                continue;
            applyAdditive(pose, load(layer.transform[i]),
                          trackWeights(layer, std::abs(layer.weight), i), layer.weight < 0.0f);
        }

        store(output[i].translation, pose.translation);
        store(output[i].rotation, pose.rotation);
        store(output[i].scale, pose.scale);
    }
    return true;
}

} // namespace ZarvikEngine::Skeletal
