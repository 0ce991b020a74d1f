#ifndef ZarvikEngine_JobSystem_h
#define ZarvikEngine_JobSystem_h

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Function.h"

namespace ZarvikEngine {

/* One byte per job: the flags given at dispatch plus the state bits the system sets. Bits 2
   and 64 are stored for the caller and otherwise ignored. */
enum class JobFlag : std::uint8_t {
    /* Only the thread calling update() may run the job */
    MainThread = 1,
    /* Picked and executing */
    Running = 4,
    /* Finished, failed or cancelled before it ran; final */
    Terminated = 8,
    /* The callable returned JobResult::Success */
    Success = 16,
    /* Cancellation was requested */
    Cancelled = 32,
    /* Run once every dependency terminated, even if some did not succeed */
    IgnoreFailedDependencies = 128,
};

using JobFlags = EnumSet<JobFlag>;

ZE_ENUMSET_OPERATORS(JobFlags)

enum class JobResult : std::uint8_t {
    /* Terminate without JobFlag::Success. Values other than Success and Requeue mean the same. */
    Failure = 0,
    Success = 1,
    /* Run again on a later pick, unless cancelled meanwhile */
    Requeue = 2,
};

class JobSystem;

/* A job receives the system and its own id */
using JobFunction = Function<JobResult(JobSystem&, int)>;

/* Runs jobs on a fixed pool of worker threads and on whichever thread calls update(), the
   "main thread" (worker 0). Job ids are slots of a 4096-entry ring in dispatch order; a
   finished job stays queryable until update() or waitForIdle() retires it, and slots are
   reused. */
class JobSystem {
public:
    static constexpr int Capacity = 4096;
    /* update() keeps at least this many finished entries queryable */
    static constexpr int RetainedEntries = 64;

    /* Starts `threads` workers right away if `start` is set */
    explicit JobSystem(int threads = 4, bool start = true);
    /* Cancels everything still queued, lets executing jobs return and joins the workers */
    ~JobSystem();
    JobSystem(const JobSystem&) = delete;
    JobSystem& operator=(const JobSystem&) = delete;

    /* Starts the workers, named "Worker 1" to "Worker N". Call at most once. If a thread
       can't be created, the workers already started are ended and the std::system_error is
       passed on. */
    void start();

    /* Queues the job to run once its dependencies terminated, or to be cancelled if one of
       them did not succeed, unless it has JobFlag::IgnoreFailedDependencies. Ids already
       invalid are ignored, and a dependency retired before the job is picked counts as
       succeeded. Returns the id, or -1 with the job left in `job` when 4095 entries are
       live. */
    int dispatchFunc(JobFunction&& job, std::span<const int> dependencies = {},
                     JobFlags flags = {});

    /* A queued job terminates at once; an executing one is told through cancelled() and is
       not requeued */
    void cancel(int id);
    /* Cancels every live job except the calling thread's current one */
    void cancelAll();

    /* Runs at most one job on this thread, only JobFlag::MainThread ones if `mainOnly`, then
       retires finished entries beyond the 64 most recent; returns whether a job ran */
    bool update(bool mainOnly = false);
    /* Runs jobs on this thread until the job terminated */
    void updateUntilTerminated(int id);
    /* Runs jobs on this thread until nothing is queued or executing, apart from the calling
       job itself when called from inside one, then retires finished entries as update()
       does */
    void waitForIdle();
    /* Sleeps until the job terminated, running nothing */
    void waitForTermination(int id);

    bool idle() const;
    std::uint32_t queuedJobCount() const;
    std::uint32_t queuedNonMainJobCount() const;
    std::uint32_t runningJobCount() const;
    /* The workers plus the main thread */
    std::uint32_t workerCount() const;

    /* 1 to N on worker threads, 0 elsewhere */
    static int workerId();
    /* Id of the job the calling thread executes, -1 outside of jobs */
    static int currentJobId();

    /* Whether the id is a live entry of the ring */
    bool isIndexValid(int id) const;
    /* Queued or executing */
    bool running(int id) const;
    /* Finished, or retired */
    bool terminated(int id) const;
    /* Terminated with success and not retired yet */
    bool completed(int id) const;

    /* These read the slot as it is, retired or not; the id must be in 0 to 4095. failed() is
       meaningful once the job terminated. */
    bool failed(int id) const;
    bool cancelled(int id) const;
    JobFlags flags(int id) const;

    /* Test hook: when set, idle checks call it between reading the job counts and deciding,
       so that a test can move jobs in between. Set it only while no other thread checks. */
    static inline void (*idleCheckTestHook)() = nullptr;

private:
    struct Threads;

    int acquireJob(int threadIndex, JobFlags flags);
    int addJob();
    void popJobs(int n);
    void cancelUnsafe(int id);
    void freeJob(int id);
    void execute(int id, std::unique_lock<std::mutex>& queueLock);
    /* Frees the job, marks it terminated with the flags given, changes the counts as
       changeJobCounts() and wakes a worker for each job that waited for it; under the queue
       lock */
    void terminate(int id, JobFlags flags, int queued, int running);
    bool threadStep(int threadIndex, bool mainOnly);
    void threadRun(int threadIndex);
    void retire();
    void wakeWorkers(int count);
    /* Workers end once their current job returned */
    void stopWorkers();
    void joinWorkers();
    /* Nothing queued and nothing executing but the job `self` (-1 for none) */
    bool idleExcept(int self) const;

    JobFlags loadFlags(int id) const {
        return JobFlags{_flags[id].load(std::memory_order_acquire)};
    }
    void storeFlags(int id, JobFlags flags) {
        _flags[id].store(std::uint8_t(flags), std::memory_order_release);
    }
    JobFlags slotFlags(const char* function, int id) const;
    struct JobCounts {
        std::uint32_t running, queuedMain, queuedOther;
    };
    JobCounts jobCounts() const;
    /* Adds to the queued count matching the flags and to the running count; under the queue
       lock */
    void changeJobCounts(JobFlags flags, int queued, int running);

    std::unique_ptr<std::atomic<std::uint8_t>[]> _flags;
    std::unique_ptr<JobFunction[]> _jobs;
    std::unique_ptr<std::vector<int>[]> _dependencies;
    /* Queued jobs for workers that named the job as a dependency before it terminated;
       under the queue lock */
    std::unique_ptr<int[]> _waitingDependants;
    /* The first live entry and the number of live entries, in one word so that the queries,
       which read it without the queue lock, never see a head and a count of different
       moments; written under the queue lock */
    struct LiveRange {
        int head, count;
    };
    LiveRange liveRange() const {
        const std::uint32_t range = _liveRange.load(std::memory_order_relaxed);
        return {int(range & 0xffff), int(range >> 16)};
    }
    void setLiveRange(int head, int count) {
        _liveRange.store(std::uint32_t(head) | std::uint32_t(count) << 16,
                         std::memory_order_relaxed);
    }
    std::atomic<std::uint32_t> _liveRange{};
    /* Live entries from head on that are known to be terminated; under the queue lock */
    int _terminatedPrefix{};
    int _threadCount;
    std::unique_ptr<Threads> _threads;
};

} // namespace ZarvikEngine

#endif
