#include "ZarvikEngine/Data/OzzPlayer.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "ZarvikEngine/Skeletal/SamplingJob.h"

namespace ZarvikEngine::Data {

OzzPlayer::SwappedContext::SwappedContext(std::unique_ptr<Skeletal::SamplingContext> pointer)
    : pointer{std::move(pointer)} {}

OzzPlayer::SwappedContext::~SwappedContext() = default;

OzzPlayer::OzzPlayer() : _context{std::make_unique<Skeletal::SamplingContext>()} {}

OzzPlayer::OzzPlayer(OzzPlayer&& other) noexcept = default;

OzzPlayer& OzzPlayer::operator=(OzzPlayer&& other) noexcept = default;

OzzPlayer::~OzzPlayer() = default;

void OzzPlayer::restart(float time) {
    _startTime = _currentFrameTime = _lastFrameTime = time;
    _timeOffset = 0.0f;
    _currentIteration = 0;
    _reverse = false;
    _state = State::Playing;
}

void OzzPlayer::continueFromPause(float time) {
    const float base = time + _timeOffset;
    if (_pauseTime) {
        _startTime = base - (*_pauseTime - _startTime);
        _pauseTime.reset();
    } else
        /* advance() already turned the start time into the elapsed time */
        _startTime = base - _startTime;
    _state = State::Playing;
}

void OzzPlayer::play(float time) {
    if (_state == State::Paused)
        continueFromPause(time);
    else
        restart(time);
}

void OzzPlayer::resume(float time) {
    if (_state == State::Paused)
        continueFromPause(time);
    else if (_state == State::Stopped)
        restart(time);
}

void OzzPlayer::pause(float time) {
    if (_state != State::Playing)
        return;
    _state = State::Paused;
    _pauseTime = time;
}

void OzzPlayer::stop() {
    _state = State::Stopped;
    _pauseTime = 0.0f;
}

void OzzPlayer::setSpeed(float speed) {
    if (speed == _speed)
        return;
    _timeOffset += (_currentFrameTime - _startTime) * (_speed - speed);
    _speed = speed;
}

void OzzPlayer::setSpeedFactor(float factor) {
    if (factor == _speedFactor)
        return;
    const float direction = _speed > 0.0f ? 1.0f : -1.0f;
    _timeOffset += (_currentFrameTime - _startTime) * (_speedFactor - factor) * direction;
    _speedFactor = factor;
}

void OzzPlayer::addTimeOffset(float delta) {
    if (_speed > 0.0f)
        _timeOffset += delta;
    else
        _timeOffset -= delta;
}

std::int32_t OzzPlayer::wholeIterations(float cycles) {
    /* The conversion of a NaN or of a too large count would be undefined */
    const float whole = std::trunc(cycles);
    return std::abs(whole) < 1.0e9f ? std::int32_t(whole) : 0;
}

void OzzPlayer::advance(float time) {
    const State state = _state;
    _lastFrameTime = _currentFrameTime;
    _currentFrameTime = time;
    _lastState = state;

    float position = calculateTimeToUse(time);
    if (state == State::Paused) {
        /* Sample once more where the pause happened, then stay */
        if (!_pauseTime)
            return;
        position = *_pauseTime - _startTime;
        _pauseTime.reset();
        _startTime = position;
    } else if (state == State::Stopped) {
        /* Rewind once after stop(), then stay */
        if (!_pauseTime)
            return;
        _startTime = position = 0.0f;
        _pauseTime.reset();
    }

    /* Without a clip there is nothing to wrap around: the position stays at the start */
    const float cycles = _duration != 0.0f ? position / _duration : 0.0f;
    const std::int32_t iteration = wholeIterations(cycles);
    const float fraction = cycles - std::trunc(cycles);

    if (iteration != _currentIteration)
        _hasLooped = true;
    _reverse = fraction < 0.0f;
    _currentIteration = iteration;
    _ratio = _reverse ? fraction + 1.0f : fraction;

    if (_playCount != 0 && std::uint32_t(std::abs(iteration)) >= _playCount) {
        if (_state != State::Paused)
            _state = State::Stopped;
        _ratio = _reverse ? 0.0f : 1.0f;
        _currentIteration = (iteration < 0 ? -1 : 1) * std::int32_t(_playCount);
    }

    _dirty = true;
}

} // namespace ZarvikEngine::Data
