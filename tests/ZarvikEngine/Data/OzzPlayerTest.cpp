#include <limits>
#include <utility>

#include <gtest/gtest.h>

#include "ZarvikEngine/Data/OzzPlayer.h"

namespace ZarvikEngine::Data {
namespace {

using State = OzzPlayer::State;

OzzPlayer playerOf(float duration, float speed = 1.0f, unsigned playCount = 1) {
    OzzPlayer player;
    player.duration() = duration;
    player.setSpeed(speed);
    player.setPlayCount(playCount);
    return player;
}

/* Advances and checks where the clock is; clears the dirty flag as sampling would */
void expectAt(OzzPlayer& player, float time, float ratio, std::int32_t iteration, State state) {
    player.advance(time);
    EXPECT_FLOAT_EQ(player.ratio(), ratio) << "at " << time;
    EXPECT_EQ(player.currentIteration(), iteration) << "at " << time;
    EXPECT_EQ(player.state(), state) << "at " << time;
    EXPECT_TRUE(player.isDirty()) << "at " << time;
    player.isDirty() = false;
}

/* Advances without anything to sample */
void expectStill(OzzPlayer& player, float time) {
    player.advance(time);
    EXPECT_FALSE(player.isDirty()) << "at " << time;
}

TEST(OzzPlayer, PlayCountDecidesWhenItStops) {
    OzzPlayer once = playerOf(2.0f);
    EXPECT_EQ(once.state(), State::Stopped);
    expectStill(once, 5.0f);
    once.play(10.0f);
    expectAt(once, 11.0f, 0.5f, 0, State::Playing);
    EXPECT_FALSE(once.hasLooped());
    EXPECT_EQ(once.lastFrameTime(), 10.0f);
    expectAt(once, 12.5f, 1.0f, 1, State::Stopped);
    EXPECT_TRUE(once.hasLooped());
    EXPECT_EQ(once.lastState(), State::Playing);
    /* Finished: later advances only move the frame times */
    expectStill(once, 13.0f);
    EXPECT_EQ(once.lastState(), State::Stopped);
    EXPECT_EQ(once.lastFrameTime(), 12.5f);

    OzzPlayer looping = playerOf(2.0f, 1.0f, 0);
    looping.play(0.0f);
    for (float time = 0.5f; time < 1000.0f; time += 7.0f)
        looping.advance(time);
    EXPECT_EQ(looping.state(), State::Playing);
    EXPECT_EQ(looping.currentIteration(), 497);

    OzzPlayer thrice = playerOf(2.0f, 1.0f, 3);
    thrice.play(0.0f);
    expectAt(thrice, 2.5f, 0.25f, 1, State::Playing);
    EXPECT_TRUE(thrice.hasLooped());
    thrice.hasLooped() = false;
    expectAt(thrice, 3.0f, 0.5f, 1, State::Playing);
    EXPECT_FALSE(thrice.hasLooped());
    expectAt(thrice, 6.5f, 1.0f, 3, State::Stopped);

    /* A player without a clip stays at the start instead of dividing by zero */
    OzzPlayer empty;
    empty.play(0.0f);
    expectAt(empty, 5.0f, 0.0f, 0, State::Playing);

    /* Positions with no whole cycle count to speak of stay in the first one */
    for (const float speed : {std::numeric_limits<float>::quiet_NaN(), 1.0e30f}) {
        OzzPlayer wild = playerOf(2.0f, speed, 0);
        wild.play(0.0f);
        wild.advance(1.0f);
        EXPECT_EQ(wild.currentIteration(), 0);
    }
}

TEST(OzzPlayer, NegativeSpeedPlaysBackwards) {
    OzzPlayer once = playerOf(2.0f, -1.0f);
    once.play(0.0f);
    expectAt(once, 0.5f, 0.75f, 0, State::Playing);
    EXPECT_TRUE(once.isReverse());
    expectAt(once, 2.5f, 0.0f, -1, State::Stopped);

    OzzPlayer twice = playerOf(2.0f, -1.0f, 2);
    twice.play(0.0f);
    expectAt(twice, 2.5f, 0.75f, -1, State::Playing);
    EXPECT_TRUE(twice.hasLooped());
    expectAt(twice, 4.5f, 0.0f, -2, State::Stopped);

    /* Offsets move the position in the direction of playback */
    twice.addTimeOffset(1.0f);
    EXPECT_EQ(twice.currentTimeOffset(), -1.0f);
    twice.setSpeed(1.0f);
    const float offset = twice.currentTimeOffset();
    twice.addTimeOffset(1.0f);
    EXPECT_EQ(twice.currentTimeOffset(), offset + 1.0f);
}

TEST(OzzPlayer, PauseResumeAndStop) {
    OzzPlayer player = playerOf(10.0f);
    /* Pausing only works while playing */
    player.pause(1.0f);
    EXPECT_EQ(player.state(), State::Stopped);

    player.play(0.0f);
    expectAt(player, 1.0f, 0.1f, 0, State::Playing);
    player.pause(2.0f);
    /* A second pause keeps the first pause time; paused, it samples once, then stays */
    player.pause(2.5f);
    expectAt(player, 3.0f, 0.2f, 0, State::Paused);
    expectStill(player, 4.0f);

    /* Resuming continues from the paused position, also without an advance in between and
       through play() */
    player.resume(5.0f);
    expectAt(player, 6.0f, 0.3f, 0, State::Playing);
    player.pause(7.0f);
    player.play(9.0f);
    expectAt(player, 10.0f, 0.5f, 0, State::Playing);

    /* Resuming while playing changes nothing, playing restarts */
    player.resume(50.0f);
    EXPECT_EQ(player.startTime(), 5.0f);
    player.play(20.0f);
    expectAt(player, 21.0f, 0.1f, 0, State::Playing);

    /* Stopping rewinds once at the next advance; resuming then starts over */
    player.stop();
    expectAt(player, 22.0f, 0.0f, 0, State::Stopped);
    expectStill(player, 23.0f);
    player.resume(30.0f);
    expectAt(player, 32.0f, 0.2f, 0, State::Playing);

    /* Paused past the end with no advance in between: it stays paused, at the end */
    player.pause(45.0f);
    expectAt(player, 46.0f, 1.0f, 1, State::Paused);
    player.resume(50.0f);
    expectAt(player, 51.0f, 1.0f, 1, State::Stopped);
}

TEST(OzzPlayer, SpeedChangesDoNotMoveThePosition) {
    OzzPlayer player = playerOf(10.0f);
    player.play(10.0f);
    player.advance(13.0f);
    player.setSpeed(1.0f);
    EXPECT_EQ(player.currentTimeOffset(), 0.0f);
    player.setSpeed(2.0f);
    EXPECT_EQ(player.currentTimeOffset(), -3.0f);
    EXPECT_EQ(player.calculateTimeToUse(14.0f), 5.0f);

    OzzPlayer factored = playerOf(10.0f);
    factored.play(10.0f);
    factored.advance(13.0f);
    factored.setSpeedFactor(2.0f);
    factored.setSpeedFactor(2.0f);
    EXPECT_EQ(factored.currentTimeOffset(), -3.0f);
    EXPECT_EQ(factored.calculateTimeToUse(13.0f), 3.0f);
    factored.setSpeedFactor(0.0f);
    EXPECT_FALSE(factored.hasSpeed());

    /* Backwards, the correction has the other sign */
    OzzPlayer backwards = playerOf(10.0f, -1.0f);
    backwards.play(10.0f);
    backwards.advance(13.0f);
    backwards.setSpeedFactor(2.0f);
    EXPECT_EQ(backwards.currentTimeOffset(), 3.0f);
    EXPECT_EQ(backwards.calculateTimeToUse(13.0f), -3.0f);
}

TEST(OzzPlayer, MovingCarriesTheClockAndTheContext) {
    OzzPlayer first = playerOf(10.0f, 1.0f, 4);
    const auto* firstContext = &first.samplingContext();
    first.play(0.0f);
    first.advance(1.0f);
    /* A pause time that the next advance() uses */
    first.pause(3.0f);

    OzzPlayer second{std::move(first)};
    EXPECT_EQ(&second.samplingContext(), firstContext);
    OzzPlayer third;
    const auto* thirdContext = &third.samplingContext();
    third = std::move(second);
    EXPECT_EQ(&third.samplingContext(), firstContext);
    EXPECT_EQ(&second.samplingContext(), thirdContext);
    EXPECT_EQ(third.playCount(), 4u);
    expectAt(third, 5.0f, 0.3f, 0, State::Paused);
}

} // namespace
} // namespace ZarvikEngine::Data
