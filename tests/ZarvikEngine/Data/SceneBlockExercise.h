#ifndef ZarvikEngine_Tests_Data_SceneBlockExercise_h
#define ZarvikEngine_Tests_Data_SceneBlockExercise_h

/* Adopts a scene block and manager blocks from outside the process as a host must (each block
   validated, each manager checked against the records of its slot), then drives them with
   operations that a script of bytes picks, checking after every operation that all blocks
   still validate. Shared by the scene block fuzz target and the mutation test. */

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "AnimationTestClips.h"
#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/CollisionManager.h"
#include "ZarvikEngine/Data/InputManager.h"
#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/LightManager.h"
#include "ZarvikEngine/Data/MeshManager.h"
#include "ZarvikEngine/Data/NameManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Data/ViewManager.h"

namespace ZarvikEngine::Data::Test {

/* The plain (ungrouped) kind of manager: one int per component */
class ValueManager : public ComponentManager {
public:
    explicit ValueManager(unsigned short capacity = 0) : ComponentManager{0} { allocate(capacity); }

    static std::optional<std::string> validate(std::span<const char> data) {
        return validateBlock(
            "ValueManager", data, 0,
            [](std::span<const char>, unsigned short capacity) {
                return sizeof(int) * std::size_t(capacity);
            },
            ValueManager{});
    }

    std::string_view name() const override { return "value"; }
    std::size_t componentDataSize(unsigned short capacity) const override {
        return sizeof(int) * std::size_t(capacity);
    }
    void copy(unsigned short source, unsigned short destination) override {
        _values[destination] = _values[source];
    }
    void updateComponent(unsigned short index) override { ++_values[index]; }

protected:
    void doInit() override {
        ComponentManager::doInit();
        partition().reserveRegions(1);
        _values = partition().addRegion<int>(block(), capacity());
    }
    void doSwap(unsigned short a, unsigned short b) override {
        ComponentManager::doSwap(a, b);
        std::swap(_values[a], _values[b]);
    }
    void doAppend(const SparseArray& other) override {
        const auto& values = static_cast<const ValueManager&>(other)._values;
        std::copy_n(values.begin(), other.size(), _values.begin() + size());
    }

private:
    std::span<int> _values;
};

/* Blocks as a host would receive them; an empty one stands for a new, empty owner */
struct SceneBlocks {
    std::vector<char> scene, meshes, names, values, animations, views, lights, collisions, inputs,
        scripts, texts;
};

/* Every block of a SceneBlocks, in the order of the fuzz input */
template<class Blocks>
auto blocksOf(Blocks& blocks) {
    return std::array{&blocks.scene,      &blocks.meshes,  &blocks.names,  &blocks.values,
                      &blocks.animations, &blocks.views,   &blocks.lights, &blocks.collisions,
                      &blocks.inputs,     &blocks.scripts, &blocks.texts};
}

namespace Implementation {

constexpr unsigned short MeshSlot = 0, NameSlot = 1, ValueSlot = 2, AnimationSlot = 3, ViewSlot = 4,
                         LightSlot = 5, CollisionSlot = 6, InputSlot = 7, ScriptSlot = 8,
                         TextSlot = 9, SlotCount = 10;
/* Keep a run short enough for a fuzzer to do many: each operation validates every block */
constexpr std::size_t MaxObjects = 512;
constexpr std::size_t MaxScriptLength = 256;

/* An accepted block that stops validating after an operation is a finding */
inline void expectValid(const std::optional<std::string>& problem, const char* operation) {
    if (problem) {
        std::fprintf(stderr, "after %s: %s\n", operation, problem->c_str());
        std::abort();
    }
}

class Script {
public:
    explicit Script(std::span<const std::uint8_t> bytes) : _bytes{bytes} {}
    bool done() const { return _bytes.empty(); }
    unsigned next() {
        if (_bytes.empty())
            return 0;
        const unsigned value = _bytes.front();
        _bytes = _bytes.subspan(1);
        return value;
    }
    unsigned below(std::size_t count) {
        const unsigned value = next() | next() << 8;
        return count ? unsigned(value % count) : 0;
    }

private:
    std::span<const std::uint8_t> _bytes;
};

class Exercise {
public:
    Exercise(SceneGraph& graph, MeshManager* meshes, NameManager* names, ValueManager* values,
             AnimationManager* animations, ViewManager* views, LightManager* lights,
             CollisionManager* collisions, InputManager* inputs, JavaScriptManager* scripts,
             TextManager* texts)
        : _graph{graph}, _meshes{meshes}, _names{names}, _values{values},
          _animations{animations}, _views{views}, _lights{lights},
          _collisions{collisions}, _inputs{inputs}, _scripts{scripts}, _texts{texts} {
        growNames();
        /* A clip of three tracks with an event, played alone and blended with itself */
        const float keys[]{0.25f};
        _clips.emplace_back();
        _clips.push_back(clipOf(linearClip(0.5f, 3), keys, {"tick"}));
        _graphs.emplace_back();
        _graphs.push_back(createSimpleAnimationGraph(1));
        const std::uint16_t clips[]{1, 1};
        const float speeds[]{1.0f, -2.0f};
        _graphs.push_back(createAnimation1DBlendGraph(clips, speeds, 0.3f));
    }

    void run(Script& script) {
        while (!script.done()) {
            const char* operation = step(script);
            checkAll(operation);
        }
    }

    void checkAll(const char* operation) const {
        expectValid(SceneGraph::validate(_graph.data()), operation);
        if (_meshes) {
            expectValid(MeshManager::validate(_meshes->data()), operation);
            expectValid(_graph.validateComponents(MeshSlot, *_meshes), operation);
        }
        if (_names) {
            expectValid(NameManager::validate(_names->data()), operation);
            expectValid(_graph.validateComponents(NameSlot, *_names), operation);
        }
        if (_values) {
            expectValid(ValueManager::validate(_values->data()), operation);
            expectValid(_graph.validateComponents(ValueSlot, *_values), operation);
        }
        if (_animations) {
            expectValid(AnimationManager::validate(_animations->data()), operation);
            expectValid(_graph.validateComponents(AnimationSlot, *_animations), operation);
        }
        if (_views) {
            expectValid(ViewManager::validate(_views->data()), operation);
            expectValid(_graph.validateComponents(ViewSlot, *_views), operation);
        }
        if (_lights) {
            expectValid(LightManager::validate(_lights->data()), operation);
            expectValid(_graph.validateComponents(LightSlot, *_lights), operation);
        }
        if (_collisions) {
            expectValid(CollisionManager::validate(_collisions->data()), operation);
            expectValid(_graph.validateComponents(CollisionSlot, *_collisions), operation);
        }
        if (_inputs) {
            expectValid(InputManager::validate(_inputs->data()), operation);
            expectValid(_graph.validateComponents(InputSlot, *_inputs), operation);
        }
        if (_scripts) {
            expectValid(JavaScriptManager::validate(_scripts->data()), operation);
            expectValid(_graph.validateComponents(ScriptSlot, *_scripts), operation);
        }
        if (_texts) {
            expectValid(TextManager::validate(_texts->data()), operation);
            expectValid(_graph.validateComponents(TextSlot, *_texts), operation);
        }
    }

private:
    Id object(Script& script, bool withRoot) {
        const std::size_t count = _graph.size();
        if (!withRoot && count == 1)
            return Id(0);
        const unsigned short index = withRoot ? (unsigned short)script.below(count)
                                              : (unsigned short)(1 + script.below(count - 1));
        return _graph.toId(index);
    }
    static Id component(Script& script, const ComponentManager& manager) {
        return manager.toId((unsigned short)script.below(manager.size()));
    }
    bool full() const { return _graph.size() >= MaxObjects; }
    /* The host keeps one name slot per object slot */
    void growNames() {
        if (_names && _names->capacity() < _graph.capacity())
            _names->allocate((unsigned short)_graph.capacity());
    }

    const char* step(Script& script) {
        switch (script.next() % 31) {
        case 0:
            if (full())
                return "nothing";
            _graph.addObject(object(script, true));
            growNames();
            return "addObject";
        case 1:
            if (_graph.size() > 1)
                _graph.deleteObjects(object(script, false));
            return "deleteObjects";
        case 2: {
            const Id moved = object(script, false);
            const Id parent = object(script, true);
            if (moved != Id(0) && moved != parent && !_graph.isAncestor(moved, parent))
                _graph.reparent(moved, parent);
            return "reparent";
        }
        case 3:
            if (!full()) {
                _graph.cloneObject(object(script, false), object(script, true));
                growNames();
            }
            return "cloneObject";
        case 4:
            if (_meshes && _meshes->size() < MaxObjects)
                _meshes->addComponent(object(script, true));
            if (_values && _values->size() < MaxObjects)
                _values->addComponent(object(script, true));
            if (_texts && _texts->size() < MaxObjects)
                _texts->addComponent(object(script, true));
            return "addComponent";
        case 5: {
            ComponentManager* const managers[]{_meshes,     _values, _views,   _lights,
                                               _collisions, _inputs, _scripts, _texts};
            ComponentManager* manager = managers[script.next() % 8];
            if (manager && manager->size()) {
                const Id id = component(script, *manager);
                _graph.deleteComponent(manager->object(id), manager->index(), id);
            }
            return "deleteComponent";
        }
        case 6:
            if (_meshes && _meshes->size() && _meshes->groupsCount())
                _meshes->setActive(component(script, *_meshes), script.next() % 2);
            if (_values && _values->size())
                _values->setActive(component(script, *_values), script.next() % 2);
            if (_lights && _lights->size())
                _lights->setActive(component(script, *_lights), script.next() % 2);
            if (_texts && _texts->size())
                _texts->setActive(component(script, *_texts), script.next() % 2);
            return "setActive";
        case 7:
            if (_meshes && _meshes->size() && _meshes->groupsCount())
                _meshes->setGroup(component(script, *_meshes),
                                  (unsigned short)script.below(_meshes->groupsCount()),
                                  (unsigned short)(script.next() % 2));
            if (_texts && _texts->size())
                _texts->setGroup(component(script, *_texts),
                                 (unsigned short)script.below(_texts->groupsCount()));
            return "setGroup";
        case 8:
            if (_meshes && _meshes->size() && _meshes->groupsCount()) {
                const Id id = component(script, *_meshes);
                _meshes->setSkin(id, std::uint16_t(script.next() % 3));
                _meshes->setMorphTargets(id, std::uint16_t(script.next() % 3));
            }
            return "setSkin";
        case 9:
            if (_meshes && _meshes->size())
                _meshes->setMorphTargetWeightsCount(component(script, *_meshes), script.next() % 9);
            return "setMorphTargetWeightsCount";
        case 10:
            _graph.setDirty(object(script, true));
            if (script.next() % 2)
                _graph.computeAbsoluteTransformations();
            else
                _graph.computeAbsoluteTransformation(object(script, true));
            return "computeAbsoluteTransformations";
        case 11:
            if (_names)
                _names->setName(object(script, true),
                                std::string(script.next() % 24, char('a' + script.next() % 26)));
            return "setName";
        case 12:
            if (_names) {
                const Id found = _names->lookUp("ab");
                if (found != InvalidId && !_graph.isValid(found))
                    expectValid(std::string{"lookUp() found a deleted object"}, "lookUp");
            }
            return "lookUp";
        case 13:
            append(script);
            return "append";
        case 14:
            if (_meshes)
                _meshes->update(0.016);
            if (_values)
                _values->update(0.016);
            if (_texts)
                _texts->update(0.016);
            return "update";
        case 15:
            _graph.deleteComponents((unsigned)script.below(_graph.numComponentManagers()));
            return "deleteComponents";
        case 16:
            if (_graph.activated())
                _graph.deactivate();
            else
                _graph.activate();
            return "activate";
        case 17:
            _graph.ensureAdditionalCapacityOf((unsigned short)(script.next() % 40),
                                              (unsigned short)(script.next() % 40), 16);
            growNames();
            return "ensureAdditionalCapacityOf";
        case 18:
            if (_meshes && _meshes->size())
                _meshes->copy(_meshes->toIndex(component(script, *_meshes)),
                              _meshes->toIndex(component(script, *_meshes)));
            if (_names && _names->capacity())
                _names->copy((unsigned short)script.below(_names->capacity()),
                             (unsigned short)script.below(_names->capacity()));
            if (_texts && _texts->size())
                _texts->copy(_texts->toIndex(component(script, *_texts)),
                             _texts->toIndex(component(script, *_texts)));
            return "copy";
        case 19:
            if (script.next() % 8 == 0)
                _graph.clearSafe();
            return "clearSafe";
        case 20:
            if (_animations && _animations->size() < MaxObjects) {
                const Id id = _animations->addComponent(object(script, true));
                const Id targets[]{object(script, true), object(script, true),
                                   object(script, true)};
                const unsigned graph = 1 + script.next() % 2;
                _animations->setAnimationGraph(id, graph, _graphs[graph], targets, _clips);
                _animations->setActive(id, script.next() % 4 != 0);
            }
            return "setAnimationGraph";
        case 21:
            if (_animations && _animations->size()) {
                const Id id = component(script, *_animations);
                switch (script.next() % 5) {
                case 0:
                    _animations->play(id);
                    break;
                case 1:
                    _animations->pause(id);
                    break;
                case 2:
                    _animations->resume(id);
                    break;
                case 3:
                    _animations->stop(id);
                    break;
                default:
                    _animations->setSpeed(id, float(script.next() % 5) - 1.0f);
                }
                _animations->rootMotionMode(id) = RootMotionMode(script.next() % 3);
            }
            return "playback";
        case 22:
            if (_animations) {
                _animations->update(0.01 * double(script.next() % 8));
                _animations->updateGraphs(_graphs, _clips);
            }
            return "updateGraphs";
        case 23:
            if (_animations)
                _animations->initAllGraphs(_graphs, _clips);
            return "initAllGraphs";
        case 24:
            if (_views && _views->size() < MaxObjects)
                _views->setActive(_views->addComponent(object(script, true)), script.next() % 2);
            if (_lights && _lights->size() < MaxObjects)
                _lights->setActive(_lights->addComponent(object(script, true)), script.next() % 2);
            return "addViewAndLight";
        case 25:
            if (_views && _views->size()) {
                const Id id = component(script, *_views);
                _views->near(id) = float(script.next() % 3) * 0.1f;
                _views->fov(id) = float(script.next());
                _views->viewport(id) = Vector4i{int(script.next() % 4), 0, int(script.next()), 9};
                _views->projectionType(id) = ProjectionType(script.next() % 2);
                _views->projectionMatrix(id) = _views->generateProjectionMatrix(id);
            }
            if (_lights && _lights->size()) {
                const Id id = component(script, *_lights);
                _lights->setLightType(id, LightType(script.next() % 3));
                _lights->parameters(id) = {float(script.next()), float(script.next()),
                                           float(script.next() % 2), float(script.next())};
                _lights->shadowParameters(id).w = float(script.next() % 6);
            }
            return "lightAndViewSettings";
        case 26:
            if (_collisions && _collisions->size() < MaxObjects) {
                const Id id = _collisions->addComponent(object(script, true));
                /* Kinds that never collide included */
                _collisions->collider(id) = ColliderType(script.next() % 4);
                _collisions->extents(id) =
                    Vector3{float(script.next()), float(script.next()), float(script.next())} /
                    16.0f;
                _collisions->group(id) = std::uint8_t(script.next());
                _collisions->setActive(id, script.next() % 4 != 0);
            }
            if (_inputs && _inputs->size() < MaxObjects) {
                const Id id = _inputs->addComponent(object(script, true));
                _inputs->inputType(id) = InputType(script.next() % InputManager::InputTypeCount);
                _inputs->setActive(id, script.next() % 2);
            }
            if (_scripts && _scripts->size() < MaxObjects && _scripts->typeCount())
                _scripts->setActive(_scripts->addComponent(object(script, true),
                                                           script.below(_scripts->typeCount())),
                                    script.next() % 2);
            return "addCollisionInputScript";
        case 27:
            if (_collisions && _collisions->size()) {
                const Vector3 origin{float(script.next()) - 128.0f, float(script.next()) - 128.0f,
                                     float(script.next()) - 128.0f};
                const Vector3 direction{float(script.next()) - 127.5f,
                                        float(script.next()) - 127.5f, 1.0f};
                RayHit hit{};
                _collisions->rayCast(origin / 16.0f, glm::normalize(direction),
                                     std::uint8_t(script.next()), float(script.next()), hit);
                if (hit.hitCount > 4)
                    expectValid(std::string{"more than four hits"}, "rayCast");
                _collisions->queryOverlaps(component(script, *_collisions));
            }
            if (_inputs) {
                _inputs->inputPoses()[script.next() % InputManager::InputTypeCount] =
                    dualQuaternionFromTranslation({float(script.next()), 0.0f, 1.0f});
                _inputs->update(0.016);
            }
            return "rayCast";
        case 28:
            if (_scripts) {
                if (script.next() % 2)
                    _scripts->completeInitialization();
                else
                    _scripts->js_createAndInitAllComponents();
                _scripts->update(0.016);
            }
            return "js_createAndInitAllComponents";
        case 29:
            if (_texts && _texts->size()) {
                const Id id = component(script, *_texts);
                _texts->setText(id,
                                std::string(script.next() % 40, char('a' + script.next() % 26)));
                _texts->setLineSpacing(id, float(script.next() % 4));
                _texts->setWrapMode(id, TextWrapMode(script.next() % 5));
                _texts->setHorizontalAlignment(id, TextHorizontalAlignment(script.next() % 3));
                _texts->setVerticalAlignment(id, TextVerticalAlignment(script.next() % 4));
                _texts->setJustified(id, script.next() % 2);
                _texts->setEffect(id, TextEffect(script.next() % 2));
                _texts->material(id) = std::uint16_t(script.next());
            }
            return "setText";
        default:
            if (_views)
                _views->update(0.016);
            if (_lights) {
                _lights->update(0.016);
                if (_views && _views->size()) {
                    const Id view = component(script, *_views);
                    _lights->setupShadows(_graph, *_views, view, script.next() % 16);
                    _lights->updateShadows(_graph, *_views, view);
                }
            }
            return "updateShadows";
        }
    }

    /* A small scene with a component of every kind and names, appended under the root */
    void append(Script& script) {
        if (full() || (_meshes && !_meshes->groupsCount()))
            return;
        SceneGraph other{3, SlotCount, 4};
        MeshManager otherMeshes{2, 1};
        NameManager otherNames{3, 8};
        ValueManager otherValues{2};
        AnimationManager otherAnimations{1};
        ViewManager otherViews{1};
        LightManager otherLights{1};
        CollisionManager otherCollisions{1};
        InputManager otherInputs{1};
        JavaScriptManager otherScripts{1, 1, 1};
        TextManager otherTexts{1, 1, 0};
        if (_meshes)
            other.setComponentManager(MeshSlot, "mesh", &otherMeshes);
        if (_names)
            other.setComponentManager(NameSlot, "name", &otherNames);
        if (_values)
            other.setComponentManager(ValueSlot, "value", &otherValues);
        if (_animations)
            other.setComponentManager(AnimationSlot, "animation", &otherAnimations);
        if (_views)
            other.setComponentManager(ViewSlot, "view", &otherViews);
        if (_lights)
            other.setComponentManager(LightSlot, "light", &otherLights);
        if (_collisions)
            other.setComponentManager(CollisionSlot, "collision", &otherCollisions);
        if (_inputs)
            other.setComponentManager(InputSlot, "input", &otherInputs);
        /* Type indices are appended as they are, so only to a manager that has type 0 */
        if (_scripts && _scripts->typeCount())
            other.setComponentManager(ScriptSlot, "js", &otherScripts);
        if (_texts)
            other.setComponentManager(TextSlot, "text", &otherTexts);
        const Id child = other.addObject(other.addObject(Id(0)));
        if (_meshes)
            otherMeshes.activate(otherMeshes.addComponent(child));
        if (_values)
            otherValues.addComponent(Id(0));
        if (_animations) {
            const Id animated = otherAnimations.addComponent(child);
            otherAnimations.animationGraph(animated) = 2;
            otherAnimations.activate(animated);
        }
        if (_views)
            otherViews.activate(otherViews.addComponent(child));
        if (_lights) {
            const Id light = otherLights.addComponent(child);
            otherLights.setLightType(light, LightType::Sun);
            otherLights.activate(light);
        }
        if (_collisions) {
            const Id shape = otherCollisions.addComponent(child);
            otherCollisions.collider(shape) = ColliderType::Box;
            otherCollisions.extents(shape) = Vector3{1.0f};
            otherCollisions.group(shape) = 1;
            otherCollisions.activate(shape);
        }
        if (_inputs)
            otherInputs.activate(otherInputs.addComponent(child));
        if (_scripts && _scripts->typeCount())
            otherScripts.activate(otherScripts.addComponent(child, 0));
        if (_texts) {
            const Id text = otherTexts.addComponent(child);
            otherTexts.setText(text, "appended text");
            otherTexts.activate(text);
        }
        otherNames.setName(child, "ab");

        /* The host grows the names before they are appended */
        _graph.ensureAdditionalCapacityOf(other.size(), other.componentsSize(), 16);
        growNames();
        _graph.append(other, {});
        if (script.next() % 2)
            _graph.computeAbsoluteTransformations();
    }

    SceneGraph& _graph;
    MeshManager* _meshes;
    NameManager* _names;
    ValueManager* _values;
    AnimationManager* _animations;
    ViewManager* _views;
    LightManager* _lights;
    CollisionManager* _collisions;
    InputManager* _inputs;
    JavaScriptManager* _scripts;
    TextManager* _texts;
    std::vector<Animation> _clips;
    std::vector<AnimationGraph> _graphs;
};

/* Takes a block unless it is empty; false when validation rejects it */
template<class Manager>
bool adopt(Manager& manager, std::vector<char>&& block) {
    if (block.empty())
        return true;
    if (Manager::validate(block))
        return false;
    manager.create(std::move(block));
    return true;
}

} // namespace Implementation

/* Returns false when validation rejected the input; aborts when an accepted input breaks an
   invariant or crashes an operation */
inline bool exerciseSceneBlocks(SceneBlocks blocks, std::span<const std::uint8_t> bytes) {
    using namespace Implementation;
    /* Adoption and growth print; a fuzzer runs this millions of times */
    Debug quietDebug{nullptr};
    Warning quietWarning{nullptr};

    std::optional<SceneGraph> adopted;
    if (blocks.scene.empty())
        adopted.emplace(1, SlotCount, 0);
    else if (SceneGraph::validate(blocks.scene))
        return false;
    else
        adopted.emplace(std::move(blocks.scene));
    SceneGraph& graph = *adopted;

    MeshManager meshes{0, 1};
    NameManager names;
    ValueManager values;
    AnimationManager animations;
    ViewManager views;
    LightManager lights;
    CollisionManager collisions;
    InputManager inputs;
    JavaScriptManager scripts;
    TextManager texts{0, 1, 0};
    if (!adopt(meshes, std::move(blocks.meshes)) || !adopt(names, std::move(blocks.names)) ||
        !adopt(values, std::move(blocks.values)) ||
        !adopt(animations, std::move(blocks.animations)) ||
        !adopt(views, std::move(blocks.views)) || !adopt(lights, std::move(blocks.lights)) ||
        !adopt(collisions, std::move(blocks.collisions)) ||
        !adopt(inputs, std::move(blocks.inputs)) || !adopt(scripts, std::move(blocks.scripts)) ||
        !adopt(texts, std::move(blocks.texts)))
        return false;

    /* As many of the managers as the scene has slots for, each checked against its slot */
    const unsigned short slots = graph.numComponentManagers();
    const std::pair<ComponentManager*, const char*> managers[]{
        {&meshes, "mesh"},          {&names, "name"},
        {&values, "value"},         {&animations, "animation"},
        {&views, "view"},           {&lights, "light"},
        {&collisions, "collision"}, {&inputs, "input"},
        {&scripts, "js"},           {&texts, "text"}};
    for (unsigned short slot = 0; slot != std::min(slots, SlotCount); ++slot) {
        if (graph.validateComponents(slot, *managers[slot].first))
            return false;
        graph.setComponentManager(slot, managers[slot].second, managers[slot].first);
    }

    Exercise exercise{graph,
                      slots > MeshSlot ? &meshes : nullptr,
                      slots > NameSlot ? &names : nullptr,
                      slots > ValueSlot ? &values : nullptr,
                      slots > AnimationSlot ? &animations : nullptr,
                      slots > ViewSlot ? &views : nullptr,
                      slots > LightSlot ? &lights : nullptr,
                      slots > CollisionSlot ? &collisions : nullptr,
                      slots > InputSlot ? &inputs : nullptr,
                      slots > ScriptSlot ? &scripts : nullptr,
                      slots > TextSlot ? &texts : nullptr};
    exercise.checkAll("adoption");
    Script script{bytes.first(std::min(bytes.size(), MaxScriptLength))};
    exercise.run(script);
    return true;
}

/* Blocks of a scene that went through what hosts do: objects added, reparented and deleted
   (parked Ids), components of every kind added, grouped, activated and deleted, morph target
   weights and names */
inline SceneBlocks sampleSceneBlocks() {
    Debug quietDebug{nullptr};
    Warning quietWarning{nullptr};
    SceneGraph graph{8, Implementation::SlotCount, 4};
    MeshManager meshes{4, 3};
    NameManager names{8, 16};
    ValueManager values{2};
    AnimationManager animations{2};
    ViewManager views{2};
    LightManager lights{2};
    CollisionManager collisions{2};
    InputManager inputs{2};
    JavaScriptManager scripts{2, 2, 16};
    TextManager texts{2, 2, 8};
    graph.setComponentManager(Implementation::MeshSlot, "mesh", &meshes);
    graph.setComponentManager(Implementation::NameSlot, "name", &names);
    graph.setComponentManager(Implementation::ValueSlot, "value", &values);
    graph.setComponentManager(Implementation::AnimationSlot, "animation", &animations);
    graph.setComponentManager(Implementation::ViewSlot, "view", &views);
    graph.setComponentManager(Implementation::LightSlot, "light", &lights);
    graph.setComponentManager(Implementation::CollisionSlot, "collision", &collisions);
    graph.setComponentManager(Implementation::InputSlot, "input", &inputs);
    graph.setComponentManager(Implementation::ScriptSlot, "js", &scripts);
    graph.setComponentManager(Implementation::TextSlot, "text", &texts);
    scripts.setComponentType(0, "spinner");
    scripts.setComponentType(1, "door");

    std::vector<Id> objects{Id(0)};
    for (std::size_t i = 1; i != 24; ++i)
        objects.push_back(graph.addObject(objects[(i * 5 + 3) % i]));
    graph.reparent(objects[5], objects[2]);
    names.allocate((unsigned short)graph.capacity());
    for (std::size_t i = 0; i < objects.size(); i += 3)
        names.setName(objects[i], std::string(i % 5 + 1, char('a' + i % 26)));
    for (std::size_t i = 1; i < objects.size(); i += 2) {
        const Id mesh = meshes.addComponent(objects[i]);
        meshes.setGroup(mesh, (unsigned short)(i % 3));
        meshes.setMorphTargetWeightsCount(mesh, i % 4);
        if (i % 3)
            meshes.activate(mesh);
        if (i % 5 == 0)
            meshes.setSkin(mesh, 1);
        values.setActive(values.addComponent(objects[i - 1]), i % 4 == 1);
        if (i % 4 == 3) {
            const Id animated = animations.addComponent(objects[i]);
            animations.animationGraph(animated) = std::uint16_t(1 + i % 2);
            animations.setSpeed(animated, float(i) / 8.0f);
            animations.rootMotionMode(animated) = RootMotionMode(i % 3);
            animations.setActive(animated, i % 8 == 3);
        }
        if (i % 6 == 1) {
            const Id view = views.addComponent(objects[i]);
            views.fov(view) = 60.0f + float(i);
            views.setActive(view, i % 4 == 1);
        }
        const Id light = lights.addComponent(objects[i - 1]);
        lights.setLightType(light, LightType(i % 3));
        lights.parameters(light) = {40.0f, 20.0f, float(i % 2), 30.0f};
        lights.setActive(light, i % 3 != 0);
        const Id shape = collisions.addComponent(objects[i]);
        collisions.collider(shape) = ColliderType(i % 3);
        collisions.extents(shape) = Vector3{float(i % 4) + 0.5f};
        collisions.group(shape) = std::uint8_t(1 + i % 2);
        collisions.setActive(shape, i % 5 != 0);
        if (i % 3 == 0) {
            const Id input = inputs.addComponent(objects[i]);
            inputs.inputType(input) = InputType(i % 7);
            inputs.setActive(input, i % 2);
        }
        scripts.setActive(scripts.addComponent(objects[i - 1], i % 2), i % 4 != 1);
        if (i % 4 == 1) {
            const Id text = texts.addComponent(objects[i]);
            texts.setText(text, std::string(i, char('a' + i % 26)));
            texts.setGroup(text, (unsigned short)(i % 2));
            texts.setHorizontalAlignment(text, TextHorizontalAlignment(i % 3));
            texts.setVerticalAlignment(text, TextVerticalAlignment(i % 4));
            texts.setActive(text, i % 8 == 1);
        }
    }
    graph.deleteObjects(objects[7]);
    graph.deleteObjects(objects[3]);
    graph.addObject(objects[2]);
    graph.computeAbsoluteTransformations();
    const auto bytes = [](std::span<const char> data) {
        return std::vector<char>(data.begin(), data.end());
    };
    return {bytes(graph.data()),   bytes(meshes.data()),     bytes(names.data()),
            bytes(values.data()),  bytes(animations.data()), bytes(views.data()),
            bytes(lights.data()),  bytes(collisions.data()), bytes(inputs.data()),
            bytes(scripts.data()), bytes(texts.data())};
}

/* The fuzz input: each block as its 32-bit little-endian size and its bytes, then the script */
inline std::vector<std::uint8_t> encodeSceneBlocks(const SceneBlocks& blocks,
                                                   std::span<const std::uint8_t> script) {
    std::vector<std::uint8_t> input;
    for (const std::vector<char>* block : blocksOf(blocks)) {
        for (unsigned shift = 0; shift != 32; shift += 8)
            input.push_back(std::uint8_t(block->size() >> shift));
        input.insert(input.end(), block->begin(), block->end());
    }
    input.insert(input.end(), script.begin(), script.end());
    return input;
}

/* Nothing when the sizes run past the input */
inline std::optional<std::pair<SceneBlocks, std::span<const std::uint8_t>>>
decodeSceneBlocks(std::span<const std::uint8_t> input) {
    SceneBlocks blocks;
    for (std::vector<char>* block : blocksOf(blocks)) {
        if (input.size() < 4)
            return {};
        const std::size_t size = std::size_t(input[0]) | std::size_t(input[1]) << 8 |
                                 std::size_t(input[2]) << 16 | std::size_t(input[3]) << 24;
        input = input.subspan(4);
        if (size > input.size())
            return {};
        block->assign(input.begin(), input.begin() + size);
        input = input.subspan(size);
    }
    return std::pair{std::move(blocks), input};
}

} // namespace ZarvikEngine::Data::Test

#endif
