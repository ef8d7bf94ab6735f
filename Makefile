# The two commands of the README:
#   make demo   set up, build, and make a list from a bundled sample music tree
#   make test   set up, build, and run the whole test suite natively and under Wine
# Further targets: build, native, win32, test-native, test-win32, bench, clean,
#   fuzz (every fuzz target for FUZZ_SECONDS each), test-sanitize (the suite
#   under ASan+UBSan+LSan), test-tsan (under ThreadSanitizer), test-fuzz-smoke.

JOBS        ?= $(shell nproc)
NATIVE_DIR  := build/linux
WIN32_DIR   := build/win32
export WINEPREFIX ?= $(HOME)/.wine-quorbel
export WINEDEBUG  ?= -all

.PHONY: setup build native win32 test test-native test-win32 demo bench clean
.PHONY: fuzz test-sanitize test-tsan test-fuzz-smoke
FUZZ_SECONDS       ?= 180
FUZZ_SMOKE_SECONDS ?= 3

setup:
	@scripts/setup.sh

native: setup
	@cmake -S . -B $(NATIVE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE_DIR) -j $(JOBS)

win32: setup
	@cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(WIN32_DIR) -j $(JOBS)

build: native win32

test-native: native
	@cd $(NATIVE_DIR) && ctest --output-on-failure -j $(JOBS)

test-win32: win32
	@cd $(WIN32_DIR) && xvfb-run -a ctest --output-on-failure

test: test-native test-win32 test-sanitize test-fuzz-smoke

test-sanitize: setup
	@scripts/sanitize.sh address

test-tsan: setup
	@scripts/sanitize.sh thread

test-fuzz-smoke: setup
	@scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)

fuzz: setup
	@scripts/fuzz.sh $(FUZZ_SECONDS)

demo: native
	@scripts/demo.sh $(NATIVE_DIR)/bin

bench: native
	@scripts/bench.sh $(NATIVE_DIR)

clean:
	rm -rf build
