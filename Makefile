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

.PHONY: deps configure build test bench test-asan test-tsan format format-check demo fuzz examples docs

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
# file with a font for its text and inspect what came out
demo: configure
	cmake --build $(BUILD_DIR) --target zarvik
	$(BUILD_DIR)/tools/zarvik sample $(BUILD_DIR)/sample.zvk
	$(BUILD_DIR)/tools/zarvik inspect $(BUILD_DIR)/sample.zvk
	$(BUILD_DIR)/tools/zarvik play $(BUILD_DIR)/sample.zvk --frames 30 --fps 20
	$(BUILD_DIR)/tools/zarvik preview $(BUILD_DIR)/sample.zvk $(BUILD_DIR)/sample.png
	$(BUILD_DIR)/tools/zarvik import /usr/share/assimp/models/FBX/animation_with_skeleton.fbx \
		$(BUILD_DIR)/imported.zvk --font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
	$(BUILD_DIR)/tools/zarvik inspect $(BUILD_DIR)/imported.zvk

# Runs each fuzz target for FUZZ_SECONDS: the asset file validation and readers, seeded with
# the sample file and a small compiled font, the scene and manager blocks, seeded with the
# blocks of a sample scene, the glTF importer, seeded with the binary glTF files of the
# scene-file corpus, the shader preprocessor and include inlining, seeded with the internal
# shaders including a header, and text layout, seeded with a few scripts and a line break
fuzz: configure
	cmake --build $(BUILD_DIR) --target zarvik
	CXX=clang++ cmake -S fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_DIR)
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/scene-corpus
	$(BUILD_DIR)/tools/zarvik sample $(FUZZ_DIR)/corpus/sample.zvk
	hb-subset --unicodes=20,41-43,66,69 --output-file=$(FUZZ_DIR)/seed-font.ttf \
		/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
	$(BUILD_DIR)/tools/zarvik font $(FUZZ_DIR)/seed-font.ttf $(FUZZ_DIR)/corpus/font.zvk
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
	mkdir -p $(FUZZ_DIR)/text-corpus
	printf '\005\000\100\000AVA office Wave,\nfi \327\251\327\234\327\225\327\235' \
		> $(FUZZ_DIR)/text-corpus/seed
	$(FUZZ_DIR)/TextLayoutFuzzer -max_total_time=$(FUZZ_SECONDS) \
		-artifact_prefix=$(FUZZ_DIR)/text- $(FUZZ_DIR)/text-corpus

# Installs the library and the tool into a scratch prefix, then builds the examples against
# what was installed alone, through the CMake package and through pkg-config, and runs them
INSTALL_DIR ?= build-install
EXAMPLES_DIR ?= build-examples
examples: build
	rm -rf $(INSTALL_DIR) $(EXAMPLES_DIR)
	cmake --install $(BUILD_DIR) --prefix $(INSTALL_DIR)
	cmake -S examples -B $(EXAMPLES_DIR) -G Ninja -DCMAKE_PREFIX_PATH=$(CURDIR)/$(INSTALL_DIR)
	cmake --build $(EXAMPLES_DIR)
	$(EXAMPLES_DIR)/scene_update
	$(EXAMPLES_DIR)/asset_file
	$(EXAMPLES_DIR)/import_and_play /usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf
	$(EXAMPLES_DIR)/ScriptComponents examples/ScriptComponents.js
	$(EXAMPLES_DIR)/text_mesh
	c++ -std=c++20 examples/asset_file.cpp -o $(EXAMPLES_DIR)/asset_file_pkgconfig \
		$$(PKG_CONFIG_PATH=$(INSTALL_DIR)/lib/pkgconfig pkg-config --cflags --libs zarvikengine) \
		-Wl,-rpath,$(CURDIR)/$(INSTALL_DIR)/lib
	$(EXAMPLES_DIR)/asset_file_pkgconfig
	$(INSTALL_DIR)/bin/zarvik --version
	man -l $(INSTALL_DIR)/share/man/man1/zarvik.1 > /dev/null

# The API reference from the header comments in build-docs/html; fails when the public API
# gains a name without documentation that docs/undocumented.txt doesn't list yet
DOCS_DIR ?= build-docs
docs: deps
	rm -rf $(DOCS_DIR)
	mkdir -p $(DOCS_DIR)
	cd docs && (cat Doxyfile; echo "OUTPUT_DIRECTORY = $(CURDIR)/$(DOCS_DIR)"; \
		echo "WARN_LOGFILE = $(CURDIR)/$(DOCS_DIR)/warnings.log") | doxygen -
	scripts/check-doc-warnings $(DOCS_DIR)/warnings.log docs/undocumented.txt

format: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

format-check: deps
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror
