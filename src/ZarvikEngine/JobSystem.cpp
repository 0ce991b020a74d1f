#include "ZarvikEngine/JobSystem.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Logging.h"

namespace ZarvikEngine {

namespace {

constexpr int SlotMask = JobSystem::Capacity - 1;
/* One less than the slots */
constexpr int MaxLiveEntries = JobSystem::Capacity - 1;
constexpr auto PollingInterval = std::chrono::milliseconds{1};
/* Entries in these states can't be picked */
constexpr JobFlags Unpickable = JobFlag::Running | JobFlag::Terminated | JobFlag::Cancelled;
/* Where the job counts sit in their shared word; with at most 4095 live entries each count
   fits in 16 bits */
constexpr int RunningShift = 0;
constexpr int QueuedMainShift = 16;
constexpr int QueuedOtherShift = 32;
constexpr std::uint64_t CountMask = 0xffff;

thread_local int threadWorkerId = 0;
thread_local int threadJobId = -1;

} // namespace

struct JobSystem::Threads {
    std::vector<std::thread> workers;
    std::condition_variable wakeUp;
    std::mutex waitLock;
    std::mutex queueLock;
    std::atomic<bool> alive{true};
    /* The executing, queued main-thread and other queued jobs, in one word so that readers
       without the queue lock see all three at one moment; changed under the queue lock */
    std::atomic<std::uint64_t> counts{};
    /* Changes, under the queue lock, whenever a job may have become pickable by workers:
       nothing else can give a worker that found nothing a job */
    std::atomic<std::uint32_t> progress{};
};

JobSystem::JobSystem(int threads, bool start)
    : _flags{new std::atomic<std::uint8_t>[Capacity] {}}, _jobs{new JobFunction[Capacity]},
      _dependencies{new std::vector<int>[Capacity]}, _waitingDependants{new int[Capacity]{}},
      _threadCount{threads}, _threads{new Threads} {
    ZE_ASSERT(threads >= 1, "JobSystem::JobSystem(): too few threads");
    if (start)
        this->start();
}

JobSystem::~JobSystem() {
    stopWorkers();
    /* Executing jobs may poll cancelled() to end early */
    cancelAll();
    joinWorkers();
}

void JobSystem::start() {
    _threads->workers.reserve(_threadCount);
    try {
        for (int id = 1; id <= _threadCount; ++id)
            _threads->workers.emplace_back(&JobSystem::threadRun, this, id);
    } catch (...) {
        /* A throwing constructor runs no destructor to end the workers already started */
        stopWorkers();
        joinWorkers();
        throw;
    }
    Debug{} << "Async jobs threads started with" << _threadCount << "threads";
}

int JobSystem::dispatchFunc(JobFunction&& job, std::span<const int> dependencies, JobFlags flags) {
    int id;
    const bool forWorkers = !(flags & JobFlag::MainThread);
    bool waits = false;
    {
        std::lock_guard lock{_threads->queueLock};
        id = addJob();
        if (id == -1)
            return -1;
        changeJobCounts(flags, 1, 0);
        _jobs[id] = std::move(job);
        storeFlags(id, flags);
        _waitingDependants[id] = 0;
        std::vector<int>& kept = _dependencies[id];
        kept.clear();
        for (const int dependency : dependencies) {
            /* A retired id may be the very slot this job got, which must not make the job
               wait for itself */
            if (dependency != id && isIndexValid(dependency)) {
                kept.push_back(dependency);
                /* The dependency wakes a worker for this job when it terminates, so that
                   none scans for a job that can't run yet */
                if (!(loadFlags(dependency) & JobFlag::Terminated)) {
                    waits = true;
                    _waitingDependants[dependency] += forWorkers;
                }
            }
        }
        if (forWorkers && !waits)
            ++_threads->progress;
    }
    if (forWorkers && !waits)
        wakeWorkers(1);
    return id;
}

void JobSystem::cancel(int id) {
    std::lock_guard lock{_threads->queueLock};
    cancelUnsafe(id);
}

void JobSystem::cancelAll() {
    std::lock_guard lock{_threads->queueLock};
    const auto [head, count] = liveRange();
    for (int k = 0; k != count; ++k) {
        const int id = (head + k) & SlotMask;
        if (id != threadJobId)
            cancelUnsafe(id);
    }
}

bool JobSystem::update(bool mainOnly) {
    const bool ran = threadStep(0, mainOnly);
    retire();
    return ran;
}

void JobSystem::updateUntilTerminated(int id) {
    while (!(slotFlags("JobSystem::updateUntilTerminated():", id) & JobFlag::Terminated)) {
        update(false);
        std::this_thread::sleep_for(PollingInterval);
    }
}

void JobSystem::waitForIdle() {
    const int self = threadJobId;
    while (!idleExcept(self))
        update(false);
    /* Jobs may all have finished before the wait began, so that update() never ran */
    retire();
}

void JobSystem::waitForTermination(int id) {
    while (!(slotFlags("JobSystem::waitForTermination():", id) & JobFlag::Terminated))
        std::this_thread::sleep_for(PollingInterval);
}

bool JobSystem::idle() const {
    return idleExcept(-1);
}

std::uint32_t JobSystem::queuedJobCount() const {
    const JobCounts counts = jobCounts();
    return counts.queuedMain + counts.queuedOther;
}

std::uint32_t JobSystem::queuedNonMainJobCount() const {
    return jobCounts().queuedOther;
}

std::uint32_t JobSystem::runningJobCount() const {
    return jobCounts().running;
}

std::uint32_t JobSystem::workerCount() const {
    return _threadCount + 1;
}

int JobSystem::workerId() {
    return threadWorkerId;
}

int JobSystem::currentJobId() {
    return threadJobId;
}

bool JobSystem::isIndexValid(int id) const {
    if (id < 0)
        return false;
    const auto [head, count] = liveRange();
    /* Below head the id can only be live if the live range wrapped past the last slot */
    if (id < head)
        return id + Capacity < head + count;
    return id - head < count && id < Capacity;
}

bool JobSystem::running(int id) const {
    return isIndexValid(id) && !(loadFlags(id) & JobFlag::Terminated);
}

bool JobSystem::terminated(int id) const {
    return !isIndexValid(id) || (loadFlags(id) & JobFlag::Terminated);
}

bool JobSystem::completed(int id) const {
    return isIndexValid(id) && loadFlags(id) >= (JobFlag::Terminated | JobFlag::Success);
}

bool JobSystem::failed(int id) const {
    return !(slotFlags("JobSystem::failed():", id) & JobFlag::Success);
}

bool JobSystem::cancelled(int id) const {
    return bool(slotFlags("JobSystem::cancelled():", id) & JobFlag::Cancelled);
}

JobFlags JobSystem::flags(int id) const {
    return slotFlags("JobSystem::flags():", id);
}

JobFlags JobSystem::slotFlags(const char* function, int id) const {
    ZE_ASSERT(id >= 0 && id < Capacity, function << "invalid job id" << id);
    return loadFlags(id);
}

JobSystem::JobCounts JobSystem::jobCounts() const {
    const std::uint64_t counts = _threads->counts.load();
    return {std::uint32_t(counts >> RunningShift & CountMask),
            std::uint32_t(counts >> QueuedMainShift & CountMask),
            std::uint32_t(counts >> QueuedOtherShift & CountMask)};
}

void JobSystem::changeJobCounts(JobFlags flags, int queued, int running) {
    const int queuedShift = flags & JobFlag::MainThread ? QueuedMainShift : QueuedOtherShift;
    /* A negative change wraps around, which still gives the exact sum as no count drops
       below zero */
    _threads->counts.fetch_add((std::uint64_t(std::int64_t(queued)) << queuedShift) +
                               (std::uint64_t(std::int64_t(running)) << RunningShift));
}

bool JobSystem::idleExcept(int self) const {
    const JobCounts counts = jobCounts();
    if (idleCheckTestHook) [[unlikely]]
        idleCheckTestHook();
    if (counts.queuedMain || counts.queuedOther)
        return false;
    return counts.running == 0 ||
           (self != -1 && counts.running == 1 && (loadFlags(self) & JobFlag::Running));
}

int JobSystem::acquireJob(int threadIndex, JobFlags flags) {
    /* Workers never see main-thread jobs; thread 0 sees them, or only them */
    const JobFlags mask =
        Unpickable | (threadIndex != 0 || flags ? JobFlag::MainThread : JobFlags{});
    const auto [head, count] = liveRange();
    /* Terminated entries never become candidates again, so the run of them at the front is
       counted once instead of on every pick */
    int k = _terminatedPrefix;
    while (k != count && (loadFlags((head + k) & SlotMask) & JobFlag::Terminated))
        ++k;
    _terminatedPrefix = k;
    for (; k != count; ++k) {
        const int id = (head + k) & SlotMask;
        const JobFlags candidate = loadFlags(id);
        if ((candidate & mask) != flags)
            continue;
        const std::vector<int>& dependencies = _dependencies[id];
        if (!dependencies.empty()) {
            /* Retired dependencies count as succeeded */
            JobFlags all = JobFlag::Terminated | JobFlag::Success;
            for (const int dependency : dependencies) {
                if (isIndexValid(dependency))
                    all &= loadFlags(dependency);
            }
            if (!(all & JobFlag::Terminated))
                continue;
            if (!(all & JobFlag::Success) && !(candidate & JobFlag::IgnoreFailedDependencies)) {
                cancelUnsafe(id);
                continue;
            }
        }
        storeFlags(id, candidate | JobFlag::Running);
        return id;
    }
    return -1;
}

int JobSystem::addJob() {
    const auto [head, count] = liveRange();
    if (count == MaxLiveEntries)
        return -1;
    setLiveRange(head, count + 1);
    return (head + count) & SlotMask;
}

void JobSystem::popJobs(int n) {
    _terminatedPrefix = std::max(0, _terminatedPrefix - n);
    const auto [head, count] = liveRange();
    setLiveRange((head + n) & SlotMask, count - n);
}

void JobSystem::cancelUnsafe(int id) {
    if (!isIndexValid(id))
        return;
    JobFlags flags = loadFlags(id);
    if (flags & JobFlag::Terminated)
        return;
    flags |= JobFlag::Cancelled;
    /* An executing callable isn't interrupted, its result decides */
    if (flags & JobFlag::Running)
        storeFlags(id, flags);
    else
        terminate(id, flags, -1, 0);
}

void JobSystem::freeJob(int id) {
    _jobs[id] = nullptr;
}

void JobSystem::execute(int id, std::unique_lock<std::mutex>& queueLock) {
    changeJobCounts(loadFlags(id), -1, 1);
    queueLock.unlock();

    threadJobId = id;
    const JobResult result = _jobs[id](*this, id);
    threadJobId = -1;

    queueLock.lock();
    const JobFlags flags = loadFlags(id) & ~JobFlag::Running;
    const bool requeue = result == JobResult::Requeue && !(flags & JobFlag::Cancelled);
    if (!requeue) {
        terminate(id, flags | (result == JobResult::Success ? JobFlag::Success : JobFlags{}), 0,
                  -1);
        return;
    }
    storeFlags(id, flags);
    changeJobCounts(flags, 1, -1);
    /* Workers rescan by themselves; a job requeued by any other thread would otherwise wait
       for the next change while the workers sleep */
    if (!(flags & JobFlag::MainThread) && threadWorkerId == 0) {
        ++_threads->progress;
        wakeWorkers(1);
    }
}

void JobSystem::terminate(int id, JobFlags flags, int queued, int running) {
    /* The callable is gone before anyone can see the job terminated */
    freeJob(id);
    storeFlags(id, flags | JobFlag::Terminated);
    /* Counted after, so that whoever sees the system idle also sees the job's final state */
    changeJobCounts(flags, queued, running);
    /* A worker for each job that waited for this one, as each may be pickable now */
    if (const int dependants = _waitingDependants[id]) {
        ++_threads->progress;
        wakeWorkers(std::min(dependants, _threadCount));
    }
}

bool JobSystem::threadStep(int threadIndex, bool mainOnly) {
    std::unique_lock queueLock{_threads->queueLock};
    const int id = acquireJob(threadIndex, mainOnly ? JobFlag::MainThread : JobFlags{});
    if (id == -1)
        return false;
    execute(id, queueLock);
    return true;
}

void JobSystem::threadRun(int threadIndex) {
    threadWorkerId = threadIndex;
    char name[16];
    std::snprintf(name, sizeof(name), "Worker %d", threadIndex);
    pthread_setname_np(pthread_self(), name);
    LoggingScope loggingScope;

    Threads& threads = *_threads;
    while (threads.alive) {
        std::unique_lock queueLock{threads.queueLock};
        /* Finishing a job and picking the next share one hold of the lock */
        for (int id; threads.alive && (id = acquireJob(threadIndex, {})) != -1;)
            execute(id, queueLock);
        /* Jobs still queued wait for others: rescanning before something changes would only
           hold the queue lock against the threads that can make progress */
        const std::uint32_t seen = threads.progress;
        /* Taken before the queue lock is released: a change after the scan above then
           reaches wakeWorkers() only once this thread sleeps or sees the change */
        std::unique_lock waitLock{threads.waitLock};
        queueLock.unlock();
        threads.wakeUp.wait(waitLock, [&] { return !threads.alive || threads.progress != seen; });
    }
}

void JobSystem::retire() {
    if (liveRange().count < RetainedEntries)
        return;
    std::lock_guard lock{_threads->queueLock};
    const auto [head, count] = liveRange();
    const int limit = count - RetainedEntries;
    /* Only from the front: an entry still queued or executing keeps everything after it */
    int k = 0;
    while (k < limit && (loadFlags((head + k) & SlotMask) & JobFlag::Terminated))
        ++k;
    popJobs(k);
}

void JobSystem::stopWorkers() {
    std::lock_guard lock{_threads->waitLock};
    _threads->alive = false;
}

void JobSystem::joinWorkers() {
    _threads->wakeUp.notify_all();
    for (std::thread& worker : _threads->workers)
        worker.join();
    _threads->workers.clear();
}

void JobSystem::wakeWorkers(int count) {
    /* A worker holds the wait lock from its last look at the progress until it sleeps,
       so passing through the lock makes sure the signal can't fall in between */
    { std::lock_guard lock{_threads->waitLock}; }
    for (int i = 0; i != count; ++i)
        _threads->wakeUp.notify_one();
}

} // namespace ZarvikEngine
