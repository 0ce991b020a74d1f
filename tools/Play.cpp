#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/DebugString.h"

namespace ZarvikEngine::Tool {

namespace {

using namespace Data;

/* What a file holds for playing: its clips, the targets of each clip, its graphs. Index 0 of
   the clip and graph lists is the placeholder that the index 0 of "nothing" names, so the
   graphs' clip indices, which count the file's clips from 0, are shifted by one. */
struct Playable {
    std::vector<Animation> clips;
    std::vector<std::vector<Id>> targets;
    std::vector<AnimationGraph> graphs;
};

std::optional<Playable> readPlayable(const std::string& path, std::span<const char> file) {
    Playable playable;
    playable.clips.emplace_back();
    playable.graphs.emplace_back();
    std::size_t index = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next(), ++index) {
        const Magic magic = chunk.header().magic;
        if (magic == AnimationData::magic) {
            Animation clip = chunk.as<AnimationData>().animation();
            if (!clip.runtimeAnimation() || !clip.trackCount()) {
                reportError(path, fmt::format("chunk {} ({}): the clip can't be played", index,
                                              debugString(magic)));
                return {};
            }
            playable.clips.push_back(std::move(clip));
        } else if (magic == AnimationTargetsData::magic) {
            const std::span<const Id> targets = chunk.as<AnimationTargetsData>().targets();
            playable.targets.emplace_back(targets.begin(), targets.end());
        } else if (magic == AnimationGraphData::magic) {
            AnimationGraph graph = chunk.as<AnimationGraphData>().graph();
            graph.offsetAnimIds(1);
            if (const std::optional<std::string> problem = graph.validate(playable.clips.size())) {
                reportError(path,
                            fmt::format("chunk {} ({}): {}", index, debugString(magic), *problem));
                return {};
            }
            playable.graphs.push_back(std::move(graph));
        }
        if (!chunk.hasNext())
            break;
    }
    return playable;
}

/* Events of one frame, in the order they fired */
struct FiredEvent {
    Id component;
    std::string name;
};

} // namespace

int play(const PlayOptions& options) {
    const std::optional<std::vector<char>> file = readFile(options.path);
    if (!file)
        return Failure;
    const AssetFileValidation validation = validateAssetFile(*file);
    if (!validation.valid()) {
        reportError(options.path, *validation.error);
        return Failure;
    }
    std::optional<Playable> playable = readPlayable(options.path, *file);
    if (!playable)
        return Failure;
    if (playable->graphs.size() == 1) {
        reportError(options.path, "no animation graph to play");
        return Failure;
    }

    /* A graph plays with the targets of its first clip, which the file gives in clip order;
       every target the graphs name becomes an object of the scene */
    const std::size_t componentCount = playable->graphs.size() - 1;
    std::vector<std::vector<Id>> fileTargets(componentCount);
    std::map<Id, Id> objectOf;
    for (std::size_t c = 0; c != componentCount; ++c) {
        const std::uint32_t clip = playable->graphs[c + 1].referenceAnimation();
        if (clip && clip - 1 < playable->targets.size())
            fileTargets[c] = playable->targets[clip - 1];
        for (const Id target : fileTargets[c])
            if (target != InvalidId)
                objectOf.emplace(target, Id{});
    }
    /* The root, the targets, an object for each component without targets */
    const std::size_t objectCount = 1 + objectOf.size() + componentCount;
    if (objectCount > SceneGraph::MaxCapacity) {
        reportError(options.path, fmt::format("{} objects don't fit a scene", objectCount));
        return Failure;
    }
    std::optional<SceneGraph> sceneGraph;
    {
        /* A scene graph announces itself */
        Debug quiet{nullptr};
        sceneGraph.emplace(std::uint16_t(objectCount), 1, std::uint16_t(componentCount));
    }
    SceneGraph& scene = *sceneGraph;
    AnimationManager animations{std::uint16_t(componentCount)};
    scene.setComponentManager(0, "animation", &animations);
    std::map<Id, Id> fileIdOf;
    for (auto& [target, object] : objectOf) {
        object = scene.addObject(Id(0));
        fileIdOf.emplace(object, target);
    }

    nlohmann::json document{{"file", options.path},
                            {"frames", nlohmann::json::array()},
                            {"components", nlohmann::json::array()}};
    for (std::size_t c = 0; c != componentCount; ++c) {
        std::vector<Id> targets;
        Id owner = InvalidId;
        for (const Id target : fileTargets[c]) {
            targets.push_back(target == InvalidId ? InvalidId : objectOf.at(target));
            if (owner == InvalidId)
                owner = targets.back();
        }
        if (owner == InvalidId)
            owner = scene.addObject(Id(0));
        const Id id = animations.addComponent(owner);
        animations.setAnimationGraph(id, unsigned(c + 1), playable->graphs[c + 1], targets,
                                     playable->clips);
        animations.activate(id);
        animations.play(id);
        nlohmann::json fileIds = nlohmann::json::array();
        for (const Id target : fileTargets[c])
            fileIds.push_back(std::uint16_t(target));
        document["components"].push_back(
            {{"component", std::uint16_t(id)}, {"graph", c}, {"targets", fileIds}});
    }
    std::vector<FiredEvent> fired;
    animations.eventCallback = [&fired](Id component, std::string_view name) {
        fired.push_back({component, std::string{name}});
    };
    scene.computeAbsoluteTransformations();
    scene.resetChanged();
    const double step = 1.0 / options.fps;
    for (unsigned frame = 1; frame <= options.frames; ++frame) {
        fired.clear();
        animations.update(step);
        animations.updateGraphs(playable->graphs, playable->clips);
        scene.computeAbsoluteTransformations();

        std::vector<Id> moved;
        for (unsigned short i = 1; i != scene.size(); ++i)
            if (scene.isChanged(i) && fileIdOf.count(scene.toId(i)))
                moved.push_back(scene.toId(i));
        scene.resetChanged();

        const double time = frame * step;
        if (options.json) {
            nlohmann::json events = nlohmann::json::array(), objects = nlohmann::json::array();
            for (const FiredEvent& event : fired)
                events.push_back(
                    {{"component", std::uint16_t(event.component)}, {"name", event.name}});
            for (const Id object : moved) {
                const Vector3 position = translation(scene.absoluteTransformation(object));
                objects.push_back({{"object", std::uint16_t(fileIdOf.at(object))},
                                   {"translation", {position.x, position.y, position.z}}});
            }
            document["frames"].push_back(
                {{"frame", frame}, {"time", time}, {"events", events}, {"moved", objects}});
            continue;
        }
        std::vector<std::string> names, events;
        for (const Id object : moved)
            names.push_back(debugString(fileIdOf.at(object)));
        for (const FiredEvent& event : fired)
            events.push_back(
                fmt::format("{} from component {}", event.name, debugString(event.component)));
        Debug{} << fmt::format("frame {} at {:.3f} s: {} moved{}{}; {}", frame, time, moved.size(),
                               names.empty() ? "" : ": ", fmt::join(names, " "),
                               events.empty() ? "no events"
                                              : fmt::format("events: {}", fmt::join(events, ", ")));
    }
    if (options.json)
        Debug{} << document.dump(2);
    return Success;
}

} // namespace ZarvikEngine::Tool
