# The two commands of the README:
#   make demo   set up, build, and make a list from a bundled sample music tree
#   make test   set up, build the three products, run every suite that this
#               machine can run and say plainly what it could not
# Further targets: build, native, win32, win64, test-native, test-win32,
# test-win64, test-setup, test-kill (the host killed mid-run), test-irc (the
# WeeChat plug-in over IRC on loopback), test-load (the same under 50 clients
# and a flood), dist, test-dist, bench, clean,
#   fuzz (every fuzz target for FUZZ_SECONDS each, or to FUZZ_RUNS executions
#   each when that is given; FUZZ_WORKERS processes per target), test-sanitize (the suite
#   under ASan+UBSan+LSan), test-tsan (under ThreadSanitizer), test-fuzz-smoke.
#   make install [PREFIX=/usr/local] [DESTDIR=]   the Linux host, libraries, manual, completion, WeeChat plug-in
#   make uninstall [PREFIX=/usr/local] [DESTDIR=]

JOBS        ?= $(shell nproc)
NATIVE_DIR  := build/linux
WIN32_DIR   := build/win32
WIN64_DIR   := build/win64
SUMMARY     := build/test-summary.txt
export WINEDEBUG ?= -all
PREFIX      ?= /usr/local

.PHONY: setup build native win32 win64 test test-native test-win32 test-win64 \
        test-setup test-summary-start test-kill test-irc test-load dist test-dist demo bench clean \
        install uninstall fuzz test-sanitize test-tsan test-fuzz-smoke
FUZZ_SECONDS       ?= 180
FUZZ_RUNS          ?=
FUZZ_WORKERS       ?= 1
FUZZ_SMOKE_SECONDS ?= 3

setup:
	@scripts/setup.sh

native: setup
	@cmake -S . -B $(NATIVE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE_DIR) -j $(JOBS)

win32: setup
	@cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(WIN32_DIR) -j $(JOBS)

win64: setup
	@cmake -S . -B $(WIN64_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(WIN64_DIR) -j $(JOBS)

build: native win32 win64

test-summary-start:
	@mkdir -p build && : > $(SUMMARY)

test-native: native test-summary-start
	@cd $(NATIVE_DIR) && ctest --output-on-failure -j $(JOBS)
	@echo "the native suite: passed" >> $(SUMMARY)

# The WeeChat plug-in serving a list over IRC: ngircd, WeeChat and clients on loopback.
test-irc: native test-summary-start
	@scripts/irc-test.sh $(NATIVE_DIR) $(SUMMARY)

# The plug-in under load and a flood: 50 IRC clients, 4 slots, on loopback.
test-load: native test-summary-start
	@scripts/irc-test.sh $(NATIVE_DIR) $(SUMMARY) load

# The host killed at random moments of a run, 200 times: lists stay whole.
test-kill: native test-summary-start
	@scripts/kill-test.sh $(NATIVE_DIR) $(SUMMARY)

test-win64: win64 test-summary-start
	@scripts/test-windows.sh win64 $(WIN64_DIR) $(SUMMARY)

test-win32: win32 test-summary-start
	@scripts/test-windows.sh win32 $(WIN32_DIR) $(SUMMARY)

# The path for machines without 32-bit execution, forced here so that it
# stays exercised on machines that have it.
test-setup: win32 test-summary-start
	@out=$$(QUORBEL_NO_WIN32=1 scripts/test-windows.sh win32 $(WIN32_DIR)) && \
	  echo "$$out" | grep -q "^test-windows: NOT RUN: .*QUORBEL_NO_WIN32=1" && \
	  echo "$$out" | grep -q "^ok quorbel.dll (win32)" || \
	  { echo "$$out"; echo "test-setup: the forced no-32-bit path did not behave"; exit 1; }
	@echo "the forced no-32-bit path (QUORBEL_NO_WIN32=1): passed" >> $(SUMMARY)

dist: native win32 win64
	@scripts/dist.sh

test-dist: dist test-summary-start
	@scripts/dist-test.sh $(SUMMARY)

test: test-native test-kill test-irc test-load test-win64 test-win32 test-setup test-dist test-sanitize test-tsan test-fuzz-smoke
	@echo; echo "== make test: what ran on this machine"; cat $(SUMMARY)
	@passed=$$(grep -vc '^NOT RUN' $(SUMMARY)); skipped=$$(grep -c '^NOT RUN' $(SUMMARY) || true); \
	  echo "suites: $$passed passed, 0 failed, $$skipped skipped"

test-sanitize: setup test-summary-start
	@scripts/sanitize.sh address
	@echo "the native suite under ASan+UBSan+LSan (clang): passed" >> $(SUMMARY)

test-tsan: setup test-summary-start
	@scripts/sanitize.sh thread
	@echo "the native suite under ThreadSanitizer (clang): passed" >> $(SUMMARY)

test-fuzz-smoke: setup test-summary-start
	@FUZZ_RUNS= FUZZ_LOGS=build/fuzz/smoke-logs scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)
	@echo "every fuzz target over its seeds for $(FUZZ_SMOKE_SECONDS) s: passed" >> $(SUMMARY)

fuzz: setup
	@FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_WORKERS=$(FUZZ_WORKERS) scripts/fuzz.sh $(FUZZ_SECONDS)

demo: native
	@scripts/demo.sh $(NATIVE_DIR)/bin

bench: native
	@scripts/bench.sh $(NATIVE_DIR)

clean:
	rm -rf build dist

install: native
	@DESTDIR="$(DESTDIR)" cmake --install $(NATIVE_DIR) --prefix "$(PREFIX)"

uninstall:
	@cmake -DPREFIX="$(PREFIX)" -DDESTDIR="$(DESTDIR)" -P host/uninstall.cmake
