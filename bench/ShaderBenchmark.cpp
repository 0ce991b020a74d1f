#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "BenchmarkTiming.h"
#include "ZarvikEngine/Utils/Preprocessor.h"

extern char** environ;

namespace ZarvikEngine::Utils {
namespace {

constexpr std::size_t TextSize = 1 << 20;
constexpr int DefineCount = 200;

/* 200 defines, then shader code with nested conditionals every few lines, up to 1 MiB; valid
   for both preprocessors, so that neither spends its time on diagnostics */
std::string shaderText() {
    std::mt19937 random{7};
    const auto pick = [&](int count) {
        return std::uniform_int_distribution{0, count - 1}(random);
    };
    /* Every third name is a number, every third an expression of numbers and the rest flags
       without a value, tested only with #ifdef and defined */
    const auto valued = [&] {
        return "OPTION_" + std::to_string(pick(DefineCount / 3) * 3 + pick(2));
    };
    const auto flag = [&] { return "OPTION_" + std::to_string(pick(DefineCount / 3) * 3 + 2); };
    std::string text = "precision highp float;\n";
    for (int i = 0; i != DefineCount; ++i) {
        text += "#define OPTION_" + std::to_string(i);
        if (i % 3 == 0)
            text += " " + std::to_string(pick(8));
        else if (i % 3 == 1)
            text += " (OPTION_" + std::to_string(i - 1) + " > 2)";
        text += "\n";
    }
    const std::string lines[]{
        "    vec3 color = texture(albedo, uv).rgb*0.5; // base color\n",
        "    float light = max(dot(normal, direction), 0.0);\n",
        "    /* ambient term */ color += ambient*occlusion;\n",
        "    outColor = vec4(color*light, 1.0);\n",
    };
    while (text.size() < TextSize) {
        const int depth = 1 + pick(3);
        for (int level = 0; level != depth; ++level) {
            switch (pick(3)) {
            case 0:
                text += "#ifdef " + flag() + "\n";
                break;
            case 1:
                text += "#if " + valued() + " > " + std::to_string(pick(6)) + " && defined(" +
                        flag() + ")\n";
                break;
            default:
                text += "#ifndef UNDEFINED_" + std::to_string(pick(50)) + "\n";
            }
            text += lines[pick(4)] + lines[pick(4)];
        }
        for (int level = 0; level != depth; ++level) {
            if (pick(2)) {
                text += "#elif " + valued() + " == " + std::to_string(pick(4)) + "\n";
                text += lines[pick(4)];
            }
            text += "#else\n" + lines[pick(4)] + "#endif\n";
        }
    }
    return text;
}

/* CPU seconds of the program on the file, children included (cpp runs the compiler proper
   as a process of its own), so that load from elsewhere on the machine doesn't count */
double cppSeconds(const std::string& file) {
    const char* const arguments[]{"cpp", "-P", file.c_str(), "-o", "/dev/null", nullptr};
    rusage before, after;
    getrusage(RUSAGE_CHILDREN, &before);
    pid_t child;
    if (posix_spawnp(&child, "cpp", nullptr, nullptr, const_cast<char**>(arguments), environ))
        return 0.0;
    int status;
    waitpid(child, &status, 0);
    getrusage(RUSAGE_CHILDREN, &after);
    const auto seconds = [](const rusage& usage) {
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    };
    return seconds(after) - seconds(before);
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

/* Our preprocessor against GCC's cpp -P on the same text, cpp's start-up time taken off by
   running it on an empty file too. Argument 1 substitutes defined names in the code, as cpp
   does. */
void BM_PreprocessShader(benchmark::State& state) {
    const std::string text = shaderText();
    const std::filesystem::path directory = std::filesystem::temp_directory_path();
    const std::string file = (directory / ("zarvik-bench-" + std::to_string(getpid()) + ".glsl"));
    const std::string empty = (directory / ("zarvik-empty-" + std::to_string(getpid()) + ".glsl"));
    std::ofstream{file} << text;
    std::ofstream{empty};

    std::vector<double> ours, cpp, startup;
    for (auto _ : state) {
        const double start = Bench::threadSeconds();
        Preprocessor preprocessor{state.range(0) != 0};
        preprocessor << std::string_view{text};
        benchmark::DoNotOptimize(preprocessor.output().data());
        const double seconds = Bench::threadSeconds() - start;
        if (!preprocessor.isValid()) {
            state.SkipWithError("The text didn't preprocess");
            break;
        }
        state.SetIterationTime(seconds);
        ours.push_back(seconds);
        cpp.push_back(cppSeconds(file));
        startup.push_back(cppSeconds(empty));
    }
    std::filesystem::remove(file);
    std::filesystem::remove(empty);
    if (ours.empty())
        return;

    const double cppNet = median(cpp) - median(startup);
    state.counters["MB_per_s"] = double(text.size()) / median(ours) * 1e-6;
    state.counters["cpp_MB_per_s"] = double(text.size()) / cppNet * 1e-6;
    state.counters["cpp_startup_ms"] = median(startup) * 1e3;
    state.counters["ratio_to_cpp"] = median(ours) / cppNet;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(BM_PreprocessShader)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    /* Each iteration runs cpp twice as well; medians of 40 are steady enough */
    ->Iterations(40);

} // namespace
} // namespace ZarvikEngine::Utils
