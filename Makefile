# Every target installs what it needs first, so each works on a fresh Debian 12 machine.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
CTEST_FLAGS ?= --output-on-failure -j2 --timeout 1500

# ccache entries serve every checkout of the tree: paths below it are hashed relative to it
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := true

.PHONY: deps configure build test bench test-asan test-tsan format format-check demo fuzz

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

# The main job: write the sample asset file with the zarvik tool, inspect it, play its
# animations and render a preview of its meshes, then import a real skinned and animated scene
# file and inspect what came out
demo: configure
	cmake --build $(BUILD_DIR) --target zarvik
	$(BUILD_DIR)/tools/zarvik sample $(BUILD_DIR)/sample.zvk
	$(BUILD_DIR)/tools/zarvik inspect $(BUILD_DIR)/sample.zvk
	$(BUILD_DIR)/tools/zarvik play $(BUILD_DIR)/sample.zvk --frames 30 --fps 20
	$(BUILD_DIR)/tools/zarvik preview $(BUILD_DIR)/sample.zvk $(BUILD_DIR)/sample.png
	$(BUILD_DIR)/tools/zarvik import /usr/share/assimp/models/FBX/animation_with_skeleton.fbx \
		$(BUILD_DIR)/imported.zvk
	$(BUILD_DIR)/tools/zarvik inspect $(BUILD_DIR)/imported.zvk

# Runs each fuzz target for FUZZ_SECONDS: the asset file validation and readers, seeded with
# the sample file, the scene and manager blocks, seeded with the blocks of a sample scene, the
# glTF importer, seeded with the binary glTF files of the scene-file corpus, and the shader
# preprocessor and include inlining, seeded with the internal shaders including a header
fuzz: configure
	cmake --build $(BUILD_DIR) --target zarvik
	CXX=clang++ cmake -S fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_DIR)
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/scene-corpus
	$(BUILD_DIR)/tools/zarvik sample $(FUZZ_DIR)/corpus/sample.zvk
	$(FUZZ_DIR)/AssetFileFuzzer -max_total_time=$(FUZZ_SECONDS) -dict=fuzz/magics.dict \
		-artifact_prefix=$(FUZZ_DIR)/ $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/SceneBlockSeeds $(FUZZ_DIR)/scene-corpus
	$(FUZZ_DIR)/SceneBlockFuzzer -max_total_time=$(FUZZ_SECONDS) \
		-artifact_prefix=$(FUZZ_DIR)/scene- $(FUZZ_DIR)/scene-corpus
	mkdir -p $(FUZZ_DIR)/gltf-corpus
	find /usr/share/assimp/models/glTF2 -name '*.glb' -exec cp {} $(FUZZ_DIR)/gltf-corpus/ \;
	$(FUZZ_DIR)/GltfImportFuzzer -max_total_time=$(FUZZ_SECONDS) \
		-artifact_prefix=$(FUZZ_DIR)/gltf- $(FUZZ_DIR)/gltf-corpus
	mkdir -p $(FUZZ_DIR)/shader-corpus
	for shader in src/ZarvikEngine/Shaders/Internal/*; do \
		{ printf '\001'; sed 's/#include "[^"]*"/#include "1"/' $$shader; printf '\000'; \
		  cat src/ZarvikEngine/Shaders/Internal/Common.glsl; } \
			> $(FUZZ_DIR)/shader-corpus/$$(basename $$shader); \
	done
	$(FUZZ_DIR)/ShaderSourceFuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
		-dict=fuzz/shaders.dict -artifact_prefix=$(FUZZ_DIR)/shader- $(FUZZ_DIR)/shader-corpus

format: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

format-check: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror
