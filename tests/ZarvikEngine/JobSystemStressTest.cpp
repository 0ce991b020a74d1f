#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/JobSystem.h"

namespace ZarvikEngine {
namespace {

using namespace std::chrono_literals;

constexpr int TotalJobs = 100000;
constexpr int Workers = 4;
/* Jobs depend only on recent ones of their own wave, so chains stay short */
constexpr int DependencyWindow = 40;

/* What one job does, decided before it is dispatched */
struct Plan {
    JobFlags flags;
    int requeues;
    JobResult last;
    bool cancelsItself;
    /* Index of an earlier job of the wave the job cancels, or -1 */
    int cancelsSibling;
    /* Busy work per call, in loop iterations */
    int work;
};

/* One dispatched job as the test sees it. The job writes the atomics and lastResult; the
   test reads them once the job has terminated. */
struct Record {
    Plan plan;
    int id = -1;
    std::vector<int> dependencies; /* record indices, only those valid at dispatch */
    std::vector<int> dependencySlots;
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> cancelRequested{false};
    JobResult lastResult{};
    /* A failed dependency was already retired when the job ran, so it counted as succeeded */
    bool ranPastRetiredFailure = false;
    /* Calls counted when a cancel by the test found the job terminated, or -1 */
    int callsAtTermination = -1;
};

/* Broken rules, counted where they happen (on any thread), reported with the first occurrence */
class Violations {
public:
    void check(bool holds, const char* rule, const std::string& where = {}) {
        if (holds)
            return;
        std::lock_guard lock{_mutex};
        auto [it, inserted] = _counts.try_emplace(rule, 0, where);
        ++it->second.first;
    }

    void report() {
        for (const auto& [rule, count] : _counts)
            ADD_FAILURE() << count.first << " times: " << rule << " (first: " << count.second
                          << ")";
    }

private:
    std::mutex _mutex;
    std::map<std::string, std::pair<int, std::string>> _counts;
};

struct Context {
    std::vector<Record>* wave;
    std::thread::id mainThread;
    Violations violations;
};

void busyWork(JobSystem& jobs, int id, int iterations) {
    volatile std::uint32_t sink = 0;
    for (int i = 0; i != iterations; ++i) {
        sink = sink * 1664525u + 1013904223u;
        /* Long jobs stop early once cancelled */
        if (i % 1024 == 1023 && jobs.cancelled(id))
            return;
    }
}

JobResult runJob(JobSystem& jobs, int id, Record& record, Context& context) {
    Violations& violations = context.violations;
    const std::string where = "job " + std::to_string(id);
    violations.check(!record.inside.exchange(true), "callable entered twice at once", where);
    violations.check(JobSystem::currentJobId() == id, "current job id", where);
    const JobFlags own = jobs.flags(id);
    violations.check((own & JobFlag::Running) && !(own & JobFlag::Terminated),
                     "called while not picked", where);
    if (record.plan.flags & JobFlag::MainThread)
        violations.check(JobSystem::workerId() == 0 &&
                             std::this_thread::get_id() == context.mainThread,
                         "main-thread job on a worker", where);
    for (const int slot : record.dependencySlots) {
        /* Retirement only moves forward, so a dependency still valid now was valid when this
           job was picked. One retired since may have been picked past as succeeded. */
        const bool retired = !jobs.isIndexValid(slot);
        const JobFlags dependency = jobs.flags(slot);
        violations.check(bool(dependency & JobFlag::Terminated),
                         "ran before a dependency terminated", where);
        if (dependency & JobFlag::Success || record.plan.flags & JobFlag::IgnoreFailedDependencies)
            continue;
        violations.check(retired, "ran after a dependency failed", where);
        record.ranPastRetiredFailure = true;
    }

    const int call = record.calls.fetch_add(1) + 1;
    if (call == 1 && record.plan.cancelsItself) {
        record.cancelRequested = true;
        jobs.cancel(id);
    }
    if (call == 1 && record.plan.cancelsSibling != -1) {
        Record& sibling = (*context.wave)[record.plan.cancelsSibling];
        sibling.cancelRequested = true;
        jobs.cancel(sibling.id);
    }
    busyWork(jobs, id, record.plan.work);

    const JobResult result = call <= record.plan.requeues ? JobResult::Requeue : record.plan.last;
    record.lastResult = result;
    record.inside = false;
    return result;
}

Plan randomPlan(std::mt19937& random, int index) {
    std::uniform_int_distribution<int> percent{0, 99};
    Plan plan{};
    if (percent(random) < 10)
        plan.flags |= JobFlag::MainThread;
    if (percent(random) < 15)
        plan.flags |= JobFlag::IgnoreFailedDependencies;
    const int requeueRoll = percent(random);
    plan.requeues = requeueRoll < 75 ? 0 : requeueRoll < 93 ? 1 : 2;
    plan.last = percent(random) < 12 ? JobResult::Failure : JobResult::Success;
    plan.cancelsItself = percent(random) < 2;
    plan.cancelsSibling = index > 0 && percent(random) < 2
                              ? std::uniform_int_distribution<int>{0, index - 1}(random)
                              : -1;
    plan.work = percent(random) < 4 ? 20000 : std::uniform_int_distribution<int>{0, 300}(random);
    return plan;
}

/* Checks the final state of every job of a wave against what it was planned to do */
void verifyWave(JobSystem& jobs, std::vector<Record>& wave, Violations& violations,
                std::map<std::string, int>& seen) {
    for (std::size_t i = 0; i != wave.size(); ++i) {
        const Record& record = wave[i];
        const Plan& plan = record.plan;
        const std::string where = "job " + std::to_string(record.id);
        const JobFlags flags = jobs.flags(record.id);
        const int calls = record.calls;
        const bool ignoresFailures = bool(plan.flags & JobFlag::IgnoreFailedDependencies);
        bool failedDependency = false;
        for (const int dependency : record.dependencies)
            failedDependency |= !(jobs.flags(wave[dependency].id) & JobFlag::Success);

        violations.check((flags & (JobFlag::MainThread | JobFlag::IgnoreFailedDependencies)) ==
                             plan.flags,
                         "caller flags kept", where);
        violations.check((flags & JobFlag::Terminated) && !(flags & JobFlag::Running),
                         "terminated in the end", where);
        violations.check(calls <= plan.requeues + 1, "called more often than picked", where);
        /* Cancelled during its first call, it is never requeued */
        if (plan.cancelsItself)
            violations.check(calls <= 1, "requeued after cancellation", where);
        if (record.callsAtTermination != -1)
            violations.check(calls == record.callsAtTermination, "called after termination", where);

        if (flags & JobFlag::Cancelled) {
            violations.check(record.cancelRequested ||
                                 (calls == 0 && failedDependency && !ignoresFailures),
                             "cancelled without reason", where);
            if (flags & JobFlag::Success)
                violations.check(calls == plan.requeues + 1 &&
                                     record.lastResult == JobResult::Success,
                                 "cancelled job succeeded without returning success", where);
            else if (calls)
                violations.check(record.lastResult != JobResult::Success,
                                 "cancelled job lost its success", where);
            ++seen[calls                    ? "cancelled while executing"
                   : record.cancelRequested ? "cancelled while queued"
                                            : "cancelled by a failed dependency"];
        } else {
            violations.check(!failedDependency || ignoresFailures || record.ranPastRetiredFailure,
                             "failed dependency did not cancel", where);
            violations.check(calls == plan.requeues + 1 && record.lastResult == plan.last &&
                                 bool(flags & JobFlag::Success) ==
                                     (plan.last == JobResult::Success),
                             "outcome differs from the plan", where);
            if (failedDependency)
                ++seen[ignoresFailures ? "ran despite a failed dependency"
                                       : "ran past a retired failed dependency"];
        }
        if (calls > 1)
            ++seen["requeued"];
        if ((plan.flags & JobFlag::MainThread) && calls)
            ++seen["ran on the main thread"];
    }
}

TEST(JobSystemStress, RandomGraphsOfJobsInWaves) {
    /* Aborts the process if the test deadlocks; the process ends with the test otherwise */
    std::thread{[] {
        std::this_thread::sleep_for(180s);
        Fatal{} << "JobSystemStress: no result after 180 seconds, deadlocked";
    }}.detach();
    std::mt19937 random{20240611};
    std::uniform_int_distribution<int> percent{0, 99};
    Context context{nullptr, std::this_thread::get_id(), {}};
    std::map<std::string, int> seen;
    JobSystem jobs{Workers};

    /* A test cancel records the calls made if it found the job already terminated */
    auto cancelRandom = [&](std::vector<Record>& wave, int dispatched) {
        Record& record = wave[std::uniform_int_distribution<int>{0, dispatched - 1}(random)];
        record.cancelRequested = true;
        jobs.cancel(record.id);
        if (record.callsAtTermination == -1 && (jobs.flags(record.id) & JobFlag::Terminated))
            record.callsAtTermination = record.calls;
    };

    int total = 0, waves = 0;
    while (total < TotalJobs) {
        std::vector<Record> wave(std::uniform_int_distribution<int>{300, 700}(random));
        context.wave = &wave;
        const int size = int(wave.size());
        for (int i = 0; i != size; ++i) {
            Record& record = wave[i];
            record.plan = randomPlan(random, i);
            const int dependencyCount = std::uniform_int_distribution<int>{0, 3}(random);
            for (int d = 0; d != dependencyCount && i; ++d) {
                const int dependency = std::uniform_int_distribution<int>{
                    std::max(0, i - DependencyWindow), i - 1}(random);
                /* Only this thread retires entries, so what is valid now is what dispatch
                   keeps */
                if (jobs.isIndexValid(wave[dependency].id)) {
                    record.dependencies.push_back(dependency);
                    record.dependencySlots.push_back(wave[dependency].id);
                }
            }
            record.id = jobs.dispatchFunc(
                [&record, &context](JobSystem& js, int id) {
                    return runJob(js, id, record, context);
                },
                record.dependencySlots, record.plan.flags);
            ASSERT_NE(record.id, -1);

            if (percent(random) < 30)
                jobs.update(percent(random) < 50);
            if (percent(random) < 3)
                cancelRandom(wave, i + 1);
        }
        /* No cancels here: they would also end jobs that got stuck */
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!jobs.idle()) {
            jobs.update(percent(random) < 20);
            ASSERT_LT(std::chrono::steady_clock::now(), deadline)
                << "wave " << waves << " never finished, " << jobs.queuedJobCount()
                << " jobs still queued";
        }

        EXPECT_EQ(jobs.queuedJobCount(), 0u);
        EXPECT_EQ(jobs.queuedNonMainJobCount(), 0u);
        EXPECT_EQ(jobs.runningJobCount(), 0u);
        verifyWave(jobs, wave, context.violations, seen);
        /* Retire the wave before the next one fills the ring */
        jobs.update();
        total += size;
        ++waves;
    }

    context.violations.report();
    /* Every kind of outcome did occur */
    for (const char* what :
         {"cancelled while executing", "cancelled while queued", "cancelled by a failed dependency",
          "ran despite a failed dependency", "requeued", "ran on the main thread"})
        EXPECT_GT(seen[what], 0) << what;
}

} // namespace
} // namespace ZarvikEngine
