#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/StringArray.h"

namespace {

/* Object names of 8 to 24 letters, the same in every run */
std::vector<std::string> objectNames() {
    std::mt19937 random{2024};
    std::uniform_int_distribution<std::size_t> length{8, 24};
    std::uniform_int_distribution<int> letter{'a', 'z'};
    std::vector<std::string> names(10000);
    for (std::string& name : names) {
        name.resize(length(random));
        for (char& c : name)
            c = char(letter(random));
    }
    return names;
}

void BM_StringArrayAdd(benchmark::State& state) {
    const std::vector<std::string> names = objectNames();
    for (auto _ : state) {
        ZarvikEngine::StringArray array;
        for (const std::string& name : names)
            array.add(name);
        benchmark::DoNotOptimize(array.data().data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(names.size()));
}
BENCHMARK(BM_StringArrayAdd);

} // namespace
