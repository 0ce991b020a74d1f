#ifndef ZarvikEngine_Bench_BenchmarkTiming_h
#define ZarvikEngine_Bench_BenchmarkTiming_h

#include <algorithm>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

namespace ZarvikEngine::Bench {

/* CPU time of this thread in seconds, so that other processes on a shared machine don't count
   towards a single-threaded measurement */
inline double threadSeconds() {
    timespec time;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

/* Times the code under test and a reference doing comparable work in every iteration, in
   thread CPU time, alternating which runs first so that neither always finds the data warm in
   cache. The ratio compares the medians of both sides, so that a burst of load on a shared
   machine skews neither. The code under test's time becomes the iteration time, for
   benchmarks registered with UseManualTime(). */
class RatioTiming {
public:
    template<class Measured, class Reference>
    void run(benchmark::State& state, Measured&& measured, Reference&& reference) {
        double referenceSeconds = 0.0;
        if (_referenceFirst)
            referenceSeconds = timed(reference);
        const double seconds = timed(measured);
        if (!_referenceFirst)
            referenceSeconds = timed(reference);
        _referenceFirst = !_referenceFirst;
        _measured.push_back(seconds);
        _reference.push_back(referenceSeconds);
        state.SetIterationTime(seconds);
    }

    /* Median time of the code under test over the median time of the reference */
    double ratio() const { return median(_measured) / median(_reference); }
    double referenceMedianSeconds() const { return median(_reference); }
    double measuredMedianSeconds() const { return median(_measured); }

private:
    template<class Function>
    static double timed(Function& function) {
        const double start = threadSeconds();
        function();
        benchmark::ClobberMemory();
        return threadSeconds() - start;
    }

    static double median(std::vector<double> values) {
        if (values.empty())
            return 0.0;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    }

    std::vector<double> _measured, _reference;
    bool _referenceFirst{};
};

} // namespace ZarvikEngine::Bench

#endif
