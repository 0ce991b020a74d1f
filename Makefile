# Every target installs what it needs first, so each works on a fresh Debian 12 machine.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
CTEST_FLAGS ?= --output-on-failure -j2 --timeout 1500

.PHONY: deps configure build test bench test-asan test-tsan format format-check

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD_DIR)

test: build
	ctest --test-dir $(BUILD_DIR) $(CTEST_FLAGS)

bench: configure
	cmake --build $(BUILD_DIR) --target run-benchmarks

test-asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVIK_SANITIZE=address,undefined -DZARVIK_BUILD_BENCHMARKS=OFF
	cmake --build $(ASAN_DIR)
	ctest --test-dir $(ASAN_DIR) $(CTEST_FLAGS)

# The job system is the only part with threads of its own
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVIK_SANITIZE=thread -DZARVIK_BUILD_BENCHMARKS=OFF
	cmake --build $(TSAN_DIR) --target JobSystemTest JobSystemStressTest
	ctest --test-dir $(TSAN_DIR) $(CTEST_FLAGS) -R JobSystem

format: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

format-check: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror
