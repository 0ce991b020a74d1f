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

namespace {

/* The layers' totals, worked out once for all elements */
struct LayerTotals {
    /* The first layer taking part, null for none */
    const BlendingLayer* first;
    /* Whether any layer taking part has joint weights, in which case the rest pose is weighed
       per track */
    bool partial;
    /* Threshold minus the sum of the layer weights, and the inverse of what the blended
       translations and scales are divided by when no layer is partial */
    float restWeight, inverseTotal;
};

/* Additive layers apply to the normalized result of an element, out of line so that the blend
   keeps its sums in registers */
void applyAdditiveLayers(const BlendingJob& job, std::size_t element) {
    SoaTransform& output = job.output[element];
    Transformx4 pose = load(output);
    for (const BlendingLayer& layer : job.additiveLayers) {
        if (!(layer.weight > 0.0f || layer.weight < 0.0f))
            continue;
        applyAdditive(pose, load(layer.transform[element]),
                      trackWeights(layer, std::abs(layer.weight), element), layer.weight < 0.0f);
    }
    store(output.translation, pose.translation);
    store(output.rotation, pose.rotation);
    store(output.scale, pose.scale);
}

[[gnu::always_inline]] inline void blendKernel(const BlendingJob& job, const LayerTotals& totals) {
    const BlendingLayer* const first = totals.first;
    const BlendingLayer* const end = job.layers.data() + job.layers.size();
    for (std::size_t i = 0; i != job.restPose.size(); ++i) {
        Transformx4 pose;
        Float4 inverseWeights = splat(1.0f);
        if (!first)
            pose = load(job.restPose[i]);
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

            const Float4 threshold = splat(job.threshold);
            if (totals.partial) {
                accumulate(pose, load(job.restPose[i]), max(threshold - weights, splat(0.0f)));
                inverseWeights = splat(1.0f) / max(weights, threshold);
            } else {
                if (totals.restWeight > 0.0f)
                    accumulate(pose, load(job.restPose[i]), splat(totals.restWeight));
                inverseWeights = splat(totals.inverseTotal);
            }
        }
        store(job.output[i].translation, pose.translation * inverseWeights);
        store(job.output[i].rotation, normalized(pose.rotation));
        store(job.output[i].scale, pose.scale * inverseWeights);
        if (!job.additiveLayers.empty())
            applyAdditiveLayers(job, i);
    }
}

/* The same code for AVX2 without FMA, so the results are the same bits: three-operand
   instructions take loads without copies */
[[gnu::target("avx2")]] void blendAvx2(const BlendingJob& job, const LayerTotals& totals) {
    blendKernel(job, totals);
}

void blendBaseline(const BlendingJob& job, const LayerTotals& totals) {
    blendKernel(job, totals);
}

} // namespace

bool BlendingJob::run() const {
    if (!validate())
        return false;

    LayerTotals totals{};
    float total = 0.0f;
    for (const BlendingLayer& layer : layers) {
        if (layer.weight <= 0.0f)
            continue;
        if (!totals.first)
            totals.first = &layer;
        total += layer.weight;
        totals.partial = totals.partial || !layer.jointWeights.empty();
    }
    totals.restWeight = threshold - total;
    totals.inverseTotal = totals.restWeight > 0.0f ? 1.0f / threshold : 1.0f / total;

    if (hasAvx2())
        blendAvx2(*this, totals);
    else
        blendBaseline(*this, totals);
    return true;
}

} // namespace ZarvikEngine::Skeletal
