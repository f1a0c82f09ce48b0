# The two commands of the README: `make run` and `make test`. The build
# folders and their settings are the configure presets of CMakePresets.json.
# Each first installs whatever Debian packages are missing.

JOBS ?= $(shell nproc)
BUILD ?= build

.PHONY: run test deps build build-viewer build-asan build-win package fuzz font models bench soak screenshots overlay-screenshots clean

run: build-viewer
	./$(BUILD)/duplexa

test:
	bash scripts/test.sh

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset default -B $(BUILD) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The viewer alone, with only the packages it needs.
build-viewer:
	@bash scripts/install-deps.sh --run-only
	@# A build folder configured before (by make test, say) keeps its settings.
	@if [ -f $(BUILD)/CMakeCache.txt ]; then cmake -S . -B $(BUILD) >/dev/null; \
	else cmake --preset viewer -B $(BUILD) >/dev/null; fi
	cmake --build $(BUILD) -j $(JOBS) --target duplexa

# The .deb (build-package/duplexa_<version>_<arch>.deb): sudo apt install ./build-package/duplexa_*.deb
package:
	@bash scripts/install-deps.sh --run-only
	cmake --preset package >/dev/null
	cmake --build build-package -j $(JOBS) --target duplexa
	cd build-package && cpack -G DEB

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build build-asan -j $(JOBS)

# Assimp for Windows is cross-built once and cached (scripts/build-assimp-win.sh).
build-win: deps
	cmake --preset win \
	  -DDUPLEXA_ASSIMP_WIN="$$(bash scripts/build-assimp-win.sh | tail -n 1)" \
	  -DDUPLEXA_MESHOPTIMIZER_WIN="$$(bash scripts/build-meshoptimizer-win.sh | tail -n 1)" >/dev/null
	cmake --build build-win -j $(JOBS)

# Seconds for `make fuzz` and `make soak`, given as DURATION=n; each has its own default.
given_duration = $(if $(filter command line environment,$(origin DURATION)),$(DURATION),$(1))

# The fuzzers (BMP decoder, scene-to-mesh conversion), growing their corpora in build-fuzz/: make fuzz DURATION=600
fuzz: deps
	bash scripts/fuzz.sh $(call given_duration,60)

# Figures side by side with their baselines, printed as ratios.
bench: deps
	bash scripts/bench.sh

# Random input, F1 switches and memory checks on a real window: make soak DURATION=600
soak: deps
	bash scripts/soak.sh $(call given_duration,600)

# The README's pictures of the scene, rendered offscreen with --render.
screenshots: build-viewer
	bash scripts/screenshots.sh $(BUILD)/duplexa

# The two pictures of the overlay (help page, comfort readout), from a window under Xvfb.
overlay-screenshots: build
	python3 scripts/overlay-screenshots.py $(BUILD)/duplexa

# Regenerates data/font.bmp from DejaVu Sans Mono (FreeType).
font: deps
	cmake --preset tools >/dev/null
	cmake --build build-tools --target font

# Regenerates the sample models in data/models/ (tools/make_models.cpp).
models: deps
	cmake --preset tools >/dev/null
	cmake --build build-tools --target models

clean:
	rm -rf build build-asan build-win build-fuzz build-bench build-tools build-package
