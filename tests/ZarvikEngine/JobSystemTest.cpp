#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/JobSystem.h"
#include "ZarvikEngine/Logging.h"

namespace ZarvikEngine {

/* Lets failed expectations show flag bytes as numbers */
void PrintTo(JobFlags flags, std::ostream* out) {
    *out << unsigned(std::uint8_t(flags));
}

namespace {

using namespace std::chrono_literals;

JobFunction returning(JobResult result, int* calls = nullptr) {
    return [result, calls](JobSystem&, int) {
        if (calls)
            ++*calls;
        return result;
    };
}

void runAll(JobSystem& jobs) {
    while (jobs.update()) {
    }
}

TEST(JobSystem, RingFillsUpWrapsAroundAndRetires) {
    JobSystem jobs{1, false};
    int calls = 0;
    for (int i = 0; i != 4095; ++i) {
        const JobResult result = i == 10 ? JobResult::Failure : JobResult::Success;
        ASSERT_EQ(jobs.dispatchFunc(returning(result, &calls)), i);
    }

    /* The 4096th live entry is refused and the callable stays with the caller */
    auto token = std::make_shared<int>();
    JobFunction refused = [token](JobSystem&, int) { return JobResult::Success; };
    EXPECT_EQ(jobs.dispatchFunc(std::move(refused)), -1);
    EXPECT_TRUE(refused);
    EXPECT_EQ(token.use_count(), 2);
    EXPECT_EQ(jobs.queuedJobCount(), 4095u);

    runAll(jobs);
    EXPECT_EQ(calls, 4095);
    /* The newest 64 stay, from 4031 to 4094; retired ones count as terminated */
    EXPECT_FALSE(jobs.isIndexValid(4030));
    EXPECT_TRUE(jobs.isIndexValid(4031));
    EXPECT_TRUE(jobs.terminated(0));
    EXPECT_FALSE(jobs.completed(0));

    /* New ids continue past the last slot at 0, below head */
    EXPECT_EQ(jobs.dispatchFunc(std::move(refused)), 4095);
    EXPECT_EQ(token.use_count(), 2);
    /* Job 10 failed but is retired, so depending on it is as if nothing was given; slot 1
       was never dispatched again */
    const int dependant = jobs.dispatchFunc(returning(JobResult::Success), std::vector{10, 1});
    EXPECT_EQ(dependant, 0);
    EXPECT_FALSE(jobs.isIndexValid(1));
    runAll(jobs);
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_TRUE(jobs.completed(0));
}

TEST(JobSystem, DependenciesWaitAndPropagateFailure) {
    JobSystem jobs{1, false};
    int calls[4]{};
    const int failing = jobs.dispatchFunc(returning(JobResult::Failure));
    const int succeeding = jobs.dispatchFunc(returning(JobResult::Success));
    const std::vector both{failing, succeeding};
    const int cancelled = jobs.dispatchFunc(returning(JobResult::Success, calls), both);
    const int ignoring = jobs.dispatchFunc(returning(JobResult::Success, calls + 1), both,
                                           JobFlag::IgnoreFailedDependencies);
    const int chained =
        jobs.dispatchFunc(returning(JobResult::Success, calls + 2), std::vector{cancelled});
    /* 4000 was never dispatched and is dropped */
    const int unaffected =
        jobs.dispatchFunc(returning(JobResult::Success, calls + 3), std::vector{succeeding, 4000});
    runAll(jobs);

    EXPECT_EQ(jobs.flags(failing), JobFlag::Terminated);
    EXPECT_TRUE(jobs.failed(failing));
    EXPECT_EQ(jobs.flags(cancelled), JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_EQ(jobs.flags(chained), JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_EQ(jobs.flags(ignoring),
              JobFlag::IgnoreFailedDependencies | JobFlag::Terminated | JobFlag::Success);
    EXPECT_TRUE(jobs.completed(unaffected));
    EXPECT_EQ((std::vector<int>{calls, calls + 4}), (std::vector<int>{0, 1, 0, 1}));

    /* A dependant is skipped while its dependency executes */
    bool nestedRan = true;
    int executing = -1;
    const int outer = jobs.dispatchFunc([&](JobSystem& js, int) {
        executing = JobSystem::currentJobId();
        nestedRan = js.update();
        return JobResult::Success;
    });
    const int waiting = jobs.dispatchFunc(returning(JobResult::Success), std::vector{outer});
    EXPECT_TRUE(jobs.update());
    EXPECT_EQ(executing, outer);
    EXPECT_FALSE(nestedRan);
    EXPECT_EQ(JobSystem::currentJobId(), -1);
    EXPECT_TRUE(jobs.running(waiting));
}

TEST(JobSystem, RequeueAndCancellation) {
    JobSystem jobs{1, false};
    auto token = std::make_shared<int>();

    int requeues = 2, calls = 0;
    const int requeueing = jobs.dispatchFunc([token, &requeues, &calls](JobSystem&, int) {
        ++calls;
        return requeues-- ? JobResult::Requeue : JobResult::Success;
    });
    EXPECT_TRUE(jobs.update());
    EXPECT_EQ(jobs.flags(requeueing), JobFlags{});
    EXPECT_EQ(jobs.queuedJobCount(), 1u);
    EXPECT_EQ(jobs.runningJobCount(), 0u);
    runAll(jobs);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(jobs.completed(requeueing));

    /* Cancelled while executing: never requeued, and the result still decides Success */
    const int cancelledRequeue = jobs.dispatchFunc([token](JobSystem& js, int id) {
        js.cancel(id);
        EXPECT_TRUE(js.running(id));
        return JobResult::Requeue;
    });
    const int cancelledSuccess = jobs.dispatchFunc([token](JobSystem& js, int id) {
        js.cancel(id);
        return JobResult::Success;
    });
    runAll(jobs);
    EXPECT_EQ(jobs.flags(cancelledRequeue), JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_EQ(jobs.flags(cancelledSuccess),
              JobFlag::Cancelled | JobFlag::Terminated | JobFlag::Success);

    /* Cancelling a queued job terminates it and frees its callable at once */
    const int queued = jobs.dispatchFunc([token](JobSystem&, int) { return JobResult::Success; });
    EXPECT_EQ(token.use_count(), 2);
    jobs.cancel(queued);
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(jobs.flags(queued), JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_FALSE(jobs.update());
    /* Terminated jobs don't change any more */
    jobs.cancel(requeueing);
    EXPECT_EQ(jobs.flags(requeueing), JobFlag::Terminated | JobFlag::Success);

    /* A job may cancel everything but itself; the caller bits 2 and 64 are kept */
    const JobFlags callerBits{std::uint8_t(2 | 64)};
    const int cancelling = jobs.dispatchFunc(
        [](JobSystem& js, int) {
            js.cancelAll();
            return JobResult::Success;
        },
        {}, callerBits);
    const int other = jobs.dispatchFunc(returning(JobResult::Success), {}, callerBits);
    runAll(jobs);
    EXPECT_EQ(jobs.flags(cancelling), callerBits | JobFlag::Terminated | JobFlag::Success);
    EXPECT_EQ(jobs.flags(other), callerBits | JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_EQ(token.use_count(), 1);
}

TEST(JobSystem, MainThreadJobsRunOnlyWhereUpdateIsCalled) {
    {
        JobSystem jobs{1, false};
        const int other = jobs.dispatchFunc(returning(JobResult::Success));
        const int main = jobs.dispatchFunc(returning(JobResult::Success), {}, JobFlag::MainThread);
        EXPECT_EQ(jobs.queuedNonMainJobCount(), 1u);
        EXPECT_TRUE(jobs.update(true));
        EXPECT_TRUE(jobs.completed(main));
        EXPECT_FALSE(jobs.update(true));
        EXPECT_TRUE(jobs.running(other));
    }

    /* Workers are named after their id; they leave the main-thread job alone however long it
       waits */
    JobSystem jobs{2};
    std::vector<int> others;
    std::atomic<int> misnamed{0};
    for (int i = 0; i != 20; ++i) {
        others.push_back(jobs.dispatchFunc([&](JobSystem&, int) {
            const int worker = JobSystem::workerId();
            char name[16]{};
            pthread_getname_np(pthread_self(), name, sizeof(name));
            misnamed += worker < 1 || worker > 2 || name != "Worker " + std::to_string(worker);
            return JobResult::Success;
        }));
    }
    std::thread::id mainRanOn;
    int mainWorker = -1;
    const int main = jobs.dispatchFunc(
        [&](JobSystem&, int) {
            mainRanOn = std::this_thread::get_id();
            mainWorker = JobSystem::workerId();
            return JobResult::Success;
        },
        {}, JobFlag::MainThread);
    for (const int id : others)
        jobs.waitForTermination(id);
    EXPECT_EQ(misnamed, 0);
    std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(jobs.running(main));
    jobs.updateUntilTerminated(main);
    EXPECT_EQ(mainRanOn, std::this_thread::get_id());
    EXPECT_EQ(mainWorker, 0);
}

TEST(JobSystem, RetirementStopsAtTheFirstLiveEntry) {
    /* An entry at the front, queued or executing, keeps everything after it */
    JobSystem jobs{1, false};
    bool blockedWhileExecuting = false;
    jobs.dispatchFunc([&](JobSystem& js, int) {
        js.update(true);
        blockedWhileExecuting = js.isIndexValid(1);
        return JobResult::Success;
    });
    for (int i = 1; i != 70; ++i)
        jobs.cancel(jobs.dispatchFunc(returning(JobResult::Success)));
    EXPECT_FALSE(jobs.update(true));
    EXPECT_TRUE(jobs.isIndexValid(1));
    EXPECT_TRUE(jobs.update());
    EXPECT_TRUE(blockedWhileExecuting);
    EXPECT_FALSE(jobs.isIndexValid(5));
    EXPECT_TRUE(jobs.isIndexValid(6));
}

TEST(JobSystem, WaitForIdleFromInsideAJob) {
    JobSystem jobs{2};
    std::atomic<int> finished{0};
    int finishedSeen = -1;
    std::uint32_t queuedSeen = 99, runningSeen = 99;
    /* A main-thread child too, which the waiting job runs itself */
    const int parent = jobs.dispatchFunc([&](JobSystem& js, int) {
        for (int i = 0; i != 8; ++i) {
            js.dispatchFunc(
                [&](JobSystem&, int) {
                    std::this_thread::sleep_for(2ms);
                    ++finished;
                    return JobResult::Success;
                },
                {}, i == 3 ? JobFlag::MainThread : JobFlags{});
        }
        js.waitForIdle();
        finishedSeen = finished;
        queuedSeen = js.queuedJobCount();
        runningSeen = js.runningJobCount();
        return JobResult::Success;
    });
    jobs.waitForTermination(parent);
    EXPECT_EQ(finishedSeen, 8);
    EXPECT_EQ(queuedSeen, 0u);
    EXPECT_EQ(runningSeen, 1u);
}

/* What the idle-check hook does on its next call */
std::deque<std::function<void()>> idleCheckSteps;

void takeIdleCheckStep() {
    if (idleCheckSteps.empty())
        return;
    const std::function<void()> step = std::move(idleCheckSteps.front());
    idleCheckSteps.pop_front();
    step();
}

TEST(JobSystem, IdleCheckSeesAJobHandedOnWhileItLooks) {
    /* While the check looks, a job dispatches a main-thread child and returns, and another
       thread picks the child up: at no moment is the system idle */
    JobSystem jobs{1};
    std::atomic<bool> parentMayReturn{false}, childMayReturn{false};
    const int parent = jobs.dispatchFunc([&](JobSystem& js, int) {
        while (!parentMayReturn)
            std::this_thread::yield();
        js.dispatchFunc(
            [&](JobSystem&, int) {
                while (!childMayReturn)
                    std::this_thread::yield();
                return JobResult::Success;
            },
            {}, JobFlag::MainThread);
        return JobResult::Success;
    });
    while (!(jobs.flags(parent) & JobFlag::Running))
        std::this_thread::yield();

    std::thread picker;
    idleCheckSteps = {[&] {
                          parentMayReturn = true;
                          while (!jobs.terminated(parent) || jobs.runningJobCount())
                              std::this_thread::yield();
                      },
                      [&] {
                          picker = std::thread{[&] { jobs.update(true); }};
                          while (jobs.runningJobCount() != 1)
                              std::this_thread::yield();
                      }};
    JobSystem::idleCheckTestHook = takeIdleCheckStep;
    const bool idle = jobs.idle();
    JobSystem::idleCheckTestHook = nullptr;
    /* The steps the check didn't stop for happen now */
    while (!idleCheckSteps.empty())
        takeIdleCheckStep();
    EXPECT_FALSE(idle);
    childMayReturn = true;
    picker.join();
    EXPECT_TRUE(jobs.idle());
}

TEST(JobSystem, DispatchAndWaitNeverFillsTheRing) {
    /* The worker finishes each job before the wait starts, as when the main thread had other
       work meanwhile, so only the wait can retire it */
    JobSystem jobs{1};
    int calls = 0;
    for (int round = 0; round != 100000; ++round) {
        ASSERT_NE(jobs.dispatchFunc(returning(JobResult::Success, &calls)), -1)
            << "round " << round;
        while (!jobs.idle())
            std::this_thread::yield();
        jobs.waitForIdle();
    }
    EXPECT_EQ(calls, 100000);
}

double processSeconds() {
    timespec time;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

/* Whether the process, sleeping on this thread, spends a tenth of some 100 ms at most on the
   processors within 5 s; the workers may need a while to look at everything queued */
bool workersFallAsleep() {
    for (int tries = 0; tries != 50; ++tries) {
        const double before = processSeconds();
        std::this_thread::sleep_for(100ms);
        if (processSeconds() - before < 0.01)
            return true;
    }
    return false;
}

/* Sleeps instead of running jobs on this thread */
bool terminatesWithin(const JobSystem& jobs, int id, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!jobs.terminated(id) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return jobs.terminated(id);
}

TEST(JobSystem, WorkersSleepWhileEveryJobWaitsAndWakeWhenOneCan) {
    JobSystem jobs{3};
    std::atomic<int> calls{0};
    auto counted = [&](JobSystem&, int) {
        ++calls;
        return JobResult::Success;
    };
    /* Only this thread runs the gates, so everything behind them waits */
    const int gate = jobs.dispatchFunc(counted, {}, JobFlag::MainThread);
    std::vector<int> chained;
    for (int i = 0; i != 2000; ++i)
        chained.push_back(jobs.dispatchFunc(counted, std::vector{i % 8 ? chained.back() : gate}));
    EXPECT_TRUE(workersFallAsleep());
    EXPECT_TRUE(jobs.update(true));
    for (const int id : chained)
        ASSERT_TRUE(terminatesWithin(jobs, id, 60s));
    EXPECT_EQ(calls, 2001);

    /* A job finishing on a worker wakes one for each further dependant; these succeed only
       if all three run at once */
    std::atomic<bool> released{false};
    const int fanningOut = jobs.dispatchFunc([&](JobSystem&, int) {
        while (!released)
            std::this_thread::sleep_for(1ms);
        return JobResult::Success;
    });
    std::atomic<int> together{0};
    std::vector<int> fannedOut;
    for (int i = 0; i != 3; ++i) {
        fannedOut.push_back(jobs.dispatchFunc(
            [&](JobSystem&, int) {
                ++together;
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (together != 3 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::yield();
                return together == 3 ? JobResult::Success : JobResult::Failure;
            },
            std::vector{fanningOut}));
    }
    EXPECT_TRUE(workersFallAsleep());
    released = true;
    for (const int id : fannedOut) {
        ASSERT_TRUE(terminatesWithin(jobs, id, 60s));
        EXPECT_TRUE(jobs.completed(id));
    }

    /* A cancelled gate, too, wakes them to cancel some dependants and run others */
    const int cancelledGate = jobs.dispatchFunc(counted, {}, JobFlag::MainThread);
    const int dependant = jobs.dispatchFunc(counted, std::vector{cancelledGate});
    const int ignoring =
        jobs.dispatchFunc(counted, std::vector{cancelledGate}, JobFlag::IgnoreFailedDependencies);
    EXPECT_TRUE(workersFallAsleep());
    jobs.cancel(cancelledGate);
    ASSERT_TRUE(terminatesWithin(jobs, ignoring, 60s));
    ASSERT_TRUE(terminatesWithin(jobs, dependant, 60s));
    EXPECT_EQ(jobs.flags(dependant), JobFlag::Cancelled | JobFlag::Terminated);
    EXPECT_TRUE(jobs.completed(ignoring));
    EXPECT_EQ(calls, 2002);
}

TEST(JobSystem, ThreadsCountsAndLogging) {
    JobSystem jobs{3, false};
    EXPECT_EQ(jobs.workerCount(), 4u);

    std::ostringstream out;
    {
        Debug redirect{&out};
        jobs.start();
    }
    EXPECT_EQ(out.str(), "Async jobs threads started with 3 threads\n");

    /* Workers print through the logging sink */
    std::vector<std::string> lines;
    setLogCallback(
        [](std::string_view line, void* userData) {
            static_cast<std::vector<std::string>*>(userData)->emplace_back(line);
        },
        &lines);
    const int printing = jobs.dispatchFunc([](JobSystem&, int) {
        Debug{} << "printed by a worker";
        return JobResult::Success;
    });
    jobs.waitForTermination(printing);
    setLogCallback(nullptr, nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with("[info] printed by a worker")) << lines[0];
}

TEST(JobSystem, DestructionJoinsWorkersAndFreesEveryCallable) {
    auto token = std::make_shared<int>();
    {
        JobSystem jobs{2};
        std::atomic<bool> started{false};
        /* Executes until cancelled, then leaves behind a job nobody will run */
        const int blocking = jobs.dispatchFunc([token, &started](JobSystem& js, int id) {
            started = true;
            while (!js.cancelled(id))
                std::this_thread::yield();
            js.dispatchFunc([token](JobSystem&, int) { return JobResult::Success; }, {},
                            JobFlag::MainThread);
            return JobResult::Requeue;
        });
        jobs.dispatchFunc([token](JobSystem&, int) {
            std::this_thread::sleep_for(50us);
            return JobResult::Requeue;
        });
        for (int i = 0; i != 10; ++i) {
            jobs.dispatchFunc([token](JobSystem&, int) { return JobResult::Success; },
                              std::vector{blocking});
            jobs.dispatchFunc([token](JobSystem&, int) { return JobResult::Success; }, {},
                              JobFlag::MainThread);
        }
        while (!started)
            std::this_thread::yield();
        EXPECT_EQ(token.use_count(), 23);
    }
    EXPECT_EQ(token.use_count(), 1);
}

/* Sanitizers may start threads of their own, so only workers count */
int workerThreadCount() {
    int workers = 0;
    for (const auto& task : std::filesystem::directory_iterator{"/proc/self/task"}) {
        std::string name;
        std::getline(std::ifstream{task.path() / "comm"}, name);
        workers += name.starts_with("Worker ");
    }
    return workers;
}

/* Leaves address space for a few thread stacks only, so that starting 16 workers fails part
   way; exits with 0 if the system error came out and no worker was left behind */
[[noreturn]] void startWorkersWithLittleAddressSpace() {
    /* Threads left waiting can make the failure a hang */
    alarm(60);
    long pages = 0;
    std::ifstream{"/proc/self/statm"} >> pages;
    const rlim_t limit = rlim_t(pages) * sysconf(_SC_PAGESIZE) + (24 << 20);
    const rlimit addressSpace{limit, limit};
    setrlimit(RLIMIT_AS, &addressSpace);
    try {
        JobSystem jobs{16, true};
    } catch (const std::system_error& error) {
        if (error.code() != std::errc::resource_unavailable_try_again) {
            std::cerr << "unexpected error: " << error.what() << std::endl;
            std::_Exit(2);
        }
        if (const int left = workerThreadCount()) {
            std::cerr << left << " workers left running" << std::endl;
            std::_Exit(3);
        }
        std::_Exit(0);
    }
    std::cerr << "all 16 workers started" << std::endl;
    std::_Exit(1);
}

TEST(JobSystemDeathTest, WorkersThatCannotStartLeaveNoThreadsBehind) {
    EXPECT_EXIT(startWorkersWithLittleAddressSpace(), testing::ExitedWithCode(0), "");
}

TEST(JobSystemDeathTest, ProgrammingErrorsAbort) {
    ZE_EXPECT_ABORT(JobSystem(0, false), "JobSystem::JobSystem(): too few threads");
    JobSystem jobs{1, false};
    ZE_EXPECT_ABORT(jobs.flags(-1), "JobSystem::flags(): invalid job id -1");
    ZE_EXPECT_ABORT(jobs.failed(4096), "JobSystem::failed(): invalid job id 4096");
    ZE_EXPECT_ABORT(jobs.waitForTermination(-1),
                    "JobSystem::waitForTermination(): invalid job id -1");
}

} // namespace
} // namespace ZarvikEngine
