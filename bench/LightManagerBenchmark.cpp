#include <random>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/Data/LightManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/ViewManager.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

namespace {

/* 1,024 objects, 64 spot lights, 16 point lights and a sun of four cascades, all with shadows,
   one camera; per iteration the lights' update and their shadows fitted to the view */
void BM_LightManagerUpdate(benchmark::State& state) {
    Debug quiet{nullptr};
    std::mt19937 random{7};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    SceneGraph graph{1024, 2, 128};
    LightManager lights{96};
    ViewManager views{1};
    graph.setComponentManager(0, "light", &lights);
    graph.setComponentManager(1, "view", &views);
    for (int i = 1; i != 1024; ++i) {
        const Id object = graph.addObject(Id(0));
        graph.localTransformation(object) = dualQuaternionFromRotationTranslation(
            glm::normalize(Quaternion{unit(random), unit(random), unit(random), unit(random)}),
            Vector3{unit(random), unit(random), unit(random)} * 50.0f);
    }
    graph.computeAbsoluteTransformations();

    const auto addLight = [&](LightType type, Vector4 parameters) {
        const Id light = lights.addComponent(graph.toId((unsigned short)(1 + lights.size() * 7)));
        lights.setLightType(light, type);
        lights.parameters(light) = parameters;
        lights.activate(light);
        return light;
    };
    for (int i = 0; i != 64; ++i)
        addLight(LightType::Spot, {60.0f, 40.0f, 1.0f, 30.0f});
    for (int i = 0; i != 16; ++i)
        addLight(LightType::Point, {0.0f, 0.0f, 1.0f, 20.0f});
    const Id sun = addLight(LightType::Sun, {0.0f, 0.0f, 1.0f, 200.0f});
    lights.shadowParameters(sun).w = 4.0f;

    const Id view = views.addComponent(graph.toId((unsigned short)1000));
    views.near(view) = 0.1f;
    views.viewport(view) = {0, 0, 1920, 1080};
    views.activate(view);
    views.update(0.016);
    lights.update(0.016);
    lights.setupShadows(graph, views, view, 256);

    for (auto _ : state) {
        lights.update(0.016);
        lights.updateShadows(graph, views, view);
        benchmark::DoNotOptimize(lights.shadowsData().shadowMatrices.data());
    }
    state.counters["slices"] = double(lights.shadowsData().count);
}
BENCHMARK(BM_LightManagerUpdate)->Unit(benchmark::kMicrosecond);

} // namespace
