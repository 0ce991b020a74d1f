/* Eight-lane values live only inside the AVX2 loop, whose helpers are all inlined: GCC's
   warning that returning them from functions built without AVX changes the ABI doesn't concern
   them */
#pragma GCC diagnostic ignored "-Wpsabi"

#include "ZarvikEngine/Skeletal/BlendingJob.h"

#include <cmath>
#include <cstring>

#include "ZarvikEngine/Skeletal/SoaMath.h"

namespace ZarvikEngine::Skeletal {

using namespace Simd;

/* The hot helpers are forced inline: at -O2 GCC would call them, passing the four-lane
   values through memory */

namespace {

template<class Float>
struct Transform {
    Vector3Lanes<Float> translation;
    QuaternionLanes<Float> rotation;
    Vector3Lanes<Float> scale;
};

using Transformx4 = Transform<Float4>;

/* The lanes of one pose element, or of two consecutive ones in eight lanes */
template<class Float>
[[gnu::always_inline]] inline Float loadLanes(const float* lanes) {
    if constexpr (sizeof(Float) == sizeof(Float4))
        return Simd::load(lanes);
    else
        return join<Float>(Simd::load(lanes),
                           Simd::load(lanes + sizeof(SoaTransform) / sizeof(float)));
}

template<class Float>
[[gnu::always_inline]] inline void storeLanes(float* lanes, const Float& value) {
    if constexpr (sizeof(Float) == sizeof(Float4))
        Simd::store(lanes, value);
    else {
        Simd::store(lanes, low(value));
        Simd::store(lanes + sizeof(SoaTransform) / sizeof(float), high(value));
    }
}

template<class Float = Float4>
[[gnu::always_inline]] inline Transform<Float> load(const SoaTransform& first) {
    return {{loadLanes<Float>(first.translation.x), loadLanes<Float>(first.translation.y),
             loadLanes<Float>(first.translation.z)},
            {loadLanes<Float>(first.rotation.x), loadLanes<Float>(first.rotation.y),
             loadLanes<Float>(first.rotation.z), loadLanes<Float>(first.rotation.w)},
            {loadLanes<Float>(first.scale.x), loadLanes<Float>(first.scale.y),
             loadLanes<Float>(first.scale.z)}};
}

template<class Float>
[[gnu::always_inline]] inline void store(SoaTransform& first, const Transform<Float>& value) {
    storeLanes(first.translation.x, value.translation.x);
    storeLanes(first.translation.y, value.translation.y);
    storeLanes(first.translation.z, value.translation.z);
    storeLanes(first.rotation.x, value.rotation.x);
    storeLanes(first.rotation.y, value.rotation.y);
    storeLanes(first.rotation.z, value.rotation.z);
    storeLanes(first.rotation.w, value.rotation.w);
    storeLanes(first.scale.x, value.scale.x);
    storeLanes(first.scale.y, value.scale.y);
    storeLanes(first.scale.z, value.scale.z);
}

/* weight times the layer's joint weights from an element on, negative ones counting as 0 */
template<class Float = Float4>
[[gnu::always_inline]] inline Float trackWeights(const BlendingLayer& layer, float weight,
                                                 std::size_t element) {
    if (layer.jointWeights.empty())
        return splat<Float>(weight);
    Float jointWeights;
    std::memcpy(&jointWeights, &layer.jointWeights[element], sizeof(Float));
    return splat<Float>(weight) * max(jointWeights, splat<Float>(0.0f));
}

/* The rotation is negated where its dot product with the sum so far has the sign bit set, so
   that both lie in one hemisphere */
template<class Float>
[[gnu::always_inline]] inline void
accumulate(Transform<Float>& sum, const Transform<Float>& transform, const Float& weights) {
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
    const Quaternionx4 delta = normalized(
        Quaternionx4{flipSign(rotation.x, sign) * weights, flipSign(rotation.y, sign) * weights,
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
    store(output, pose);
}

/* Blends the elements from begin to end, one or two at a time. Without joint weights every
   track of a layer has the layer's weight, and the total is the same for all. */
template<class Float, bool partial>
[[gnu::always_inline]] inline void blendElements(const BlendingJob& job, const LayerTotals& totals,
                                                 std::size_t begin, std::size_t end) {
    constexpr std::size_t step = sizeof(Float) / sizeof(Float4);
    const BlendingLayer* const first = totals.first;
    const BlendingLayer* const layersEnd = job.layers.data() + job.layers.size();
    for (std::size_t i = begin; i != end; i += step) {
        Transform<Float> pose;
        Float inverseWeights = splat<Float>(1.0f);
        if (!first)
            pose = load<Float>(job.restPose[i]);
        else {
            Float weights = trackWeights<Float>(*first, first->weight, i);
            const Transform<Float> transform = load<Float>(first->transform[i]);
            pose = {transform.translation * weights, transform.rotation * weights,
                    transform.scale * weights};
            for (const BlendingLayer* layer = first + 1; layer != layersEnd; ++layer) {
                if (layer->weight <= 0.0f)
                    continue;
                const Float layerWeights = partial ? trackWeights<Float>(*layer, layer->weight, i)
                                                   : splat<Float>(layer->weight);
                accumulate(pose, load<Float>(layer->transform[i]), layerWeights);
                if (partial)
                    weights += layerWeights;
            }

            if (partial) {
                const Float threshold = splat<Float>(job.threshold);
                accumulate(pose, load<Float>(job.restPose[i]),
                           max(threshold - weights, splat<Float>(0.0f)));
                inverseWeights = splat<Float>(1.0f) / max(weights, threshold);
            } else {
                if (totals.restWeight > 0.0f)
                    accumulate(pose, load<Float>(job.restPose[i]), splat<Float>(totals.restWeight));
                inverseWeights = splat<Float>(totals.inverseTotal);
            }
        }
        store(job.output[i],
              Transform<Float>{pose.translation * inverseWeights, normalized(pose.rotation),
                               pose.scale * inverseWeights});
        if (!job.additiveLayers.empty())
            for (std::size_t j = i; j != i + step; ++j)
                applyAdditiveLayers(job, j);
    }
}

template<class Float>
[[gnu::always_inline]] inline void blendElements(const BlendingJob& job, const LayerTotals& totals,
                                                 std::size_t begin, std::size_t end) {
    if (totals.partial)
        blendElements<Float, true>(job, totals, begin, end);
    else
        blendElements<Float, false>(job, totals, begin, end);
}

/* The same code for AVX2 without FMA, so the results are the same bits: eight lanes take two
   elements at a time, and three-operand instructions take loads without copies */
[[gnu::target("avx2")]] void blendAvx2(const BlendingJob& job, const LayerTotals& totals) {
    const std::size_t size = job.restPose.size(), pairs = size / 2 * 2;
    blendElements<Float8>(job, totals, 0, pairs);
    blendElements<Float4>(job, totals, pairs, size);
}

void blendBaseline(const BlendingJob& job, const LayerTotals& totals) {
    blendElements<Float4>(job, totals, 0, job.restPose.size());
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
