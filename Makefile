# The front door: `make test` checks the tools, builds and runs every test,
# plainly, under AddressSanitizer and UndefinedBehaviorSanitizer, with only
# the POSIX interfaces, and the Windows build under Wine.

BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
PORTABLE_BUILD ?= build-portable
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
DIR        ?=
# Warnings as errors: CI turns it on (make test WERROR=ON).
WERROR     ?= OFF

# file: CPack's scan of the programs' libraries; locales: the source of the
# decimal-comma locale a number-format test compiles.
PACKAGES = g++ cmake make libgtest-dev libbenchmark-dev tmux time python3 clang libclang-rt-dev \
           groff-base dpkg-dev zip file locales doxygen pkgconf
# The Windows cross build and Wine, which runs its tests.
WIN_PACKAGES = g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest
WIN_BUILD ?= build-win

.PHONY: all print-packages deps deps-windows windows test-windows run-windows build test test-plain test-asan test-portable test-tsan docs fuzz fuzz-short fuzz-build run install package bench bench-build bench-cold bench-share clean

all: build

deps:
	@tools/check-deps.sh $(PACKAGES)

# The list, for the test that checks it covers what the build and tests use.
print-packages:
	@echo $(PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEHI_WERROR=$(WERROR) -DEHI_DOCS=ON
	cmake --build $(BUILD) -j $(JOBS)

test: test-plain test-asan test-tsan test-portable test-windows fuzz-short

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DEHI_SANITIZE=ON -DEHI_WERROR=$(WERROR)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The harvest's tests under ThreadSanitizer (the read-ahead's threads), and
# a harvest of a generated tree in each read-ahead mode. Only the harvest's
# test program and what it runs are built.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEHI_TSAN=ON -DEHI_WERROR=$(WERROR)
	cmake --build $(TSAN_BUILD) -j $(JOBS) -t harvest_test
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '^(Harvest|harvest_tsan)'

# The POSIX platform files with only the POSIX feature macros (no Linux or
# GNU extensions): the services' and the harvest's tests run on what the
# portable fallbacks give. Only those two test programs are built, without
# optimisation, to keep it cheap.
test-portable: deps
	cmake -S . -B $(PORTABLE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DEHI_PORTABLE=ON -DEHI_WERROR=$(WERROR)
	cmake --build $(PORTABLE_BUILD) -j $(JOBS) -t services_test harvest_test
	ctest --test-dir $(PORTABLE_BUILD) --output-on-failure -j $(JOBS) -L '^(services_test|harvest_test)$$'

# The modules' reference pages: $(BUILD)/docs/html/index.html.
docs: build
	cmake --build $(BUILD) -t docs
	@echo "Reference pages: $(BUILD)/docs/html/index.html"

deps-windows:
	@tools/check-deps.sh $(WIN_PACKAGES)

# Both programs as static Windows executables, $(WIN_BUILD)/ehiharvest.exe
# and $(WIN_BUILD)/ehiselect.exe, cross-built with mingw-w64.
windows: deps-windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEHI_WERROR=$(WERROR) \
	  -D"CMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/tools/wine.sh" \
	  -D"EHI_NATIVE_BUILD=$(CURDIR)/$(BUILD)"
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The Windows tests under Wine, and the Windows harvest against the native
# one. Wine's prefix is made first, once, so that tests do not race to it.
test-windows: build windows
	tools/wine.sh wineboot -u >/dev/null 2>&1 || true
	ctest --test-dir $(WIN_BUILD) --output-on-failure -j $(JOBS)

# Runs the harvest on a temporary copy of the bundled synthetic tree, or in
# DIR when given, then shows the first lines of the table.
run: build
	@set -e; \
	if [ -n "$(DIR)" ]; then work="$(DIR)"; else \
	  work=$$(mktemp -d); cp -r examples/sample-tree/. "$$work"; \
	  echo "Running on a copy of examples/sample-tree in $$work"; fi; \
	cd "$$work"; status=0; "$(CURDIR)/$(BUILD)/harvest/ehiharvest" || status=$$?; \
	if [ -f Orvitan.Tab ]; then echo "First lines of $$work/Orvitan.Tab:"; \
	  head -n 5 Orvitan.Tab | tr '\t' ' ' | tr -d '\r'; fi; \
	exit $$status

# The same with the Windows program under Wine.
run-windows: windows
	@set -e; \
	if [ -n "$(DIR)" ]; then work="$(DIR)"; else \
	  work=$$(mktemp -d); cp -r examples/sample-tree/. "$$work"; \
	  echo "Running ehiharvest.exe under Wine on a copy of examples/sample-tree in $$work"; fi; \
	cd "$$work"; status=0; "$(CURDIR)/tools/wine.sh" "$(CURDIR)/$(WIN_BUILD)/ehiharvest.exe" </dev/null || status=$$?; \
	if [ -f Orvitan.Tab ]; then echo "First lines of $$work/Orvitan.Tab:"; \
	  head -n 5 Orvitan.Tab | tr '\t' ' ' | tr -d '\r'; fi; \
	exit $$status

install: build
	cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package (build/packages/ehiharvest_VERSION_ARCH.deb) and, when
# the Windows programs have been built, a zip of them with the README.
package: build
	cd $(BUILD) && cpack -G DEB -B packages
	@if [ -f $(WIN_BUILD)/ehiharvest.exe ] && [ -f $(WIN_BUILD)/ehiselect.exe ]; then \
	  version=$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(BUILD)/CMakeCache.txt); \
	  rm -f $(BUILD)/packages/ehiharvest-$$version-windows.zip; \
	  zip -j $(BUILD)/packages/ehiharvest-$$version-windows.zip \
	    $(WIN_BUILD)/ehiharvest.exe $(WIN_BUILD)/ehiselect.exe README.md; \
	else echo "No Windows build ($(WIN_BUILD)/*.exe): no zip made."; fi
	@ls -l $(BUILD)/packages/*.deb $(BUILD)/packages/*.zip 2>/dev/null || true

bench-build: deps
	@tools/check-deps.sh ripgrep
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DEHI_TESTS=OFF -DEHI_BENCH=ON
	cmake --build build-bench -j $(JOBS)

# Warm page cache; `make bench-cold` drops the cache before every run (root).
bench: bench-build
	python3 bench/run.py --build build-bench $(BENCH_ARGS)

bench-cold: bench-build
	python3 bench/run.py --build build-bench --cold $(BENCH_ARGS)

# Over a slow FUSE mirror of the trees (1 ms a request), mounted anew before
# every run; says so and skips where FUSE cannot be used.
bench-share:
	@tools/check-deps.sh fuse3 libfuse3-dev pkgconf || echo "(without them the share mode skips)"
	$(MAKE) bench-build
	python3 bench/run.py --build build-bench --share $(BENCH_ARGS)

# Fuzzing: every target for FUZZ_SECONDS (60 by default); the test command
# runs a short pass of 20 seconds each. Found crashes are kept under
# fuzz/regressions/<target>/ and replayed first.
FUZZ_SECONDS ?= 60
fuzz-build: deps
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DEHI_FUZZ=ON -DEHI_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)

fuzz: fuzz-build
	tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

fuzz-short: fuzz-build
	tools/run-fuzz.sh build-fuzz 20

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(PORTABLE_BUILD) build-bench build-fuzz build-win
