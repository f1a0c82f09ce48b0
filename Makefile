# The two commands of the README: `make run` and `make test`.
# Each first installs whatever Debian packages are missing.

JOBS ?= $(shell nproc)
BUILD ?= build

.PHONY: run test deps build build-asan build-win fuzz font bench soak clean

run: build
	./$(BUILD)/duplexa

test:
	bash scripts/test.sh

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DDUPLEXA_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)

build-win: deps
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-win -j $(JOBS)

# The BMP decoder's fuzzer, growing its corpus in build-fuzz/: make fuzz DURATION=600
DURATION ?= 60
fuzz: deps
	bash scripts/fuzz.sh $(DURATION)

# Regenerates data/font.bmp from DejaVu Sans Mono (FreeType).
font: deps
	cmake -S . -B build-tools -DDUPLEXA_TOOLS=ON -DDUPLEXA_TESTS=OFF >/dev/null
	cmake --build build-tools --target font

clean:
	rm -rf build build-asan build-win build-fuzz
