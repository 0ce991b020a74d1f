#ifndef ZarvikEngine_Data_OzzPlayer_h
#define ZarvikEngine_Data_OzzPlayer_h

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace ZarvikEngine::Skeletal {
class SamplingContext;
}

namespace ZarvikEngine::Data {

/* The clock of one sampled clip: turns the caller's time into a ratio inside the clip, an
   iteration count and a direction, and owns the sampling cache of the clip. The graph
   evaluation tells it the clip's duration and the sample node's speed. Move-only. */
class OzzPlayer {
public:
    enum class State : std::uint8_t { Playing = 0, Paused = 1, Stopped = 2 };

    OzzPlayer();
    /* Takes the sampling context over and copies everything else */
    OzzPlayer(OzzPlayer&& other) noexcept;
    /* Swaps the sampling contexts and copies everything else */
    OzzPlayer& operator=(OzzPlayer&& other) noexcept;
    ~OzzPlayer();

    /* From Paused, continues; otherwise restarts from the beginning at time */
    void play(float time);
    /* From Paused, continues; from Stopped, restarts; while playing, nothing */
    void resume(float time);
    /* Only while playing */
    void pause(float time);
    /* The next advance() rewinds to the start once */
    void stop();
    /* 0 loops without end */
    void setPlayCount(std::uint32_t count) { _playCount = count; }
    /* Both keep the position from jumping by moving the time offset */
    void setSpeed(float speed);
    void setSpeedFactor(float factor);
    /* Shifts the position, in the direction of playback */
    void addTimeOffset(float delta);
    /* Moves the clock to the caller's time */
    void advance(float time);

    /* Null only in a moved-from player */
    Skeletal::SamplingContext& samplingContext() { return *_context.pointer; }

    /* The caller may write these */
    float& duration() { return _duration; }
    bool& isDirty() { return _dirty; }
    bool& hasLooped() { return _hasLooped; }

    float duration() const { return _duration; }
    bool isDirty() const { return _dirty; }
    bool hasLooped() const { return _hasLooped; }
    State state() const { return _state; }
    /* The state at the previous advance() */
    State lastState() const { return _lastState; }
    std::uint32_t playCount() const { return _playCount; }
    float startTime() const { return _startTime; }
    float currentFrameTime() const { return _currentFrameTime; }
    float lastFrameTime() const { return _lastFrameTime; }
    std::int32_t currentIteration() const { return _currentIteration; }
    float currentTimeOffset() const { return _timeOffset; }
    bool isReverse() const { return _reverse; }
    /* Position inside the clip, 0 to 1 */
    float ratio() const { return _ratio; }
    float speed() const { return _speed; }
    float speedFactor() const { return _speedFactor; }
    bool hasSpeed() const { return _speed * _speedFactor != 0.0f; }
    /* The whole part of a position in clip durations, truncated toward zero; 0 for a NaN or
       a count past the integer range (a NaN speed, a tiny duration) */
    static std::int32_t wholeIterations(float cycles);

    /* Position in seconds that the caller's time maps to, before wrapping */
    float calculateTimeToUse(float time) const {
        return (time - _startTime) * _speed * _speedFactor + _timeOffset;
    }

private:
    void restart(float time);
    void continueFromPause(float time);
    /* Moves like the pointer, but a move assignment swaps, so that the player moved from
       keeps a context to sample with */
    struct SwappedContext {
        std::unique_ptr<Skeletal::SamplingContext> pointer;

        SwappedContext(std::unique_ptr<Skeletal::SamplingContext> pointer);
        SwappedContext(SwappedContext&&) noexcept = default;
        SwappedContext& operator=(SwappedContext&& other) noexcept {
            std::swap(pointer, other.pointer);
            return *this;
        }
        ~SwappedContext();
    };

    SwappedContext _context;
    std::uint32_t _playCount{1};
    State _state{State::Stopped};
    State _lastState{State::Stopped};
    /* While paused and after an advance(), the elapsed time instead */
    float _startTime{};
    float _currentFrameTime{};
    float _lastFrameTime{};
    std::int32_t _currentIteration{};
    bool _reverse{};
    /* The caller time of the pause; after stop() a marker that the next advance() rewinds */
    std::optional<float> _pauseTime;
    bool _dirty{};
    float _duration{};
    float _ratio{};
    float _speed{1.0f};
    float _speedFactor{1.0f};
    float _timeOffset{};
    bool _hasLooped{};
};

} // namespace ZarvikEngine::Data

#endif
