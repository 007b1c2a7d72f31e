# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
OUT ?= out

.PHONY: all deps configure build run render test alone sanitize tsan fuzz-smoke slurm-check package ci clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

render: build
	mkdir -p $(OUT)
	$(BUILD)/cli/fernrender $(OUT)/mandelbrot.ppm
	@echo "The default Mandelbrot plot is in $(OUT)/mandelbrot.ppm"

run: build
	$(BUILD)/shell/fernwise

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The test command again in a copy of the checkout (tracked and new files, as
# they stand) in a folder with nothing beside it: the build and the tests must
# not lean on anything outside the repository.
ALONE ?= /tmp/fernwise-alone
alone:
	rm -rf $(ALONE)
	mkdir -p $(ALONE)/fernwise
	git ls-files --cached --others --exclude-standard -z | tar --null -T - -cf - | tar -xf - -C $(ALONE)/fernwise
	$(MAKE) -C $(ALONE)/fernwise test
	rm -rf $(ALONE)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
# GCC leaves out-of-range conversions of doubles to integers unchecked unless
# asked.
SAN_FLAGS = -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,float-cast-overflow \
  -fno-sanitize-recover=undefined,float-cast-overflow
sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None -DFERNWISE_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$(SAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS) -E '^install_tree$$'

# The threaded rendering tests (row engine, pipeline, every-core renders and
# fernrender's thread counts) under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=None -DFERNWISE_BUILD_GUI=OFF -DFERNWISE_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
	cmake --build build-tsan -j$(JOBS) --target render_tests cli_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS) \
	  -R 'RowEngine|Pipeline|RowWorkers|LevelSetPass|PassRowLoops|AllThreads|EveryThreadCount'

# A short run of every fuzz target (FUZZ_SECONDS each) on the kept corpus.
FUZZ_SECONDS ?= 60
fuzz-smoke: deps
	CXX=clang++ cmake -S . -B build-fuzz -DFERNWISE_FUZZ=ON -DFERNWISE_BUILD_GUI=ON -DFERNWISE_BUILD_TESTS=OFF \
	  -DFERNWISE_BUILD_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS) --target fernwise_fuzzers
	./scripts/fuzz-smoke.sh build-fuzz $(FUZZ_SECONDS)

# The Debian package, its dependencies and lintian's verdict.
# A release build of the programs alone, as the package carries them.
package: deps
	cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DFERNWISE_BUILD_TESTS=OFF -DFERNWISE_BUILD_BENCH=OFF
	cmake --build build-pkg -j$(JOBS)
	rm -f build-pkg/fernwise_*.deb
	cd build-pkg && cpack -G DEB
	dpkg-deb --info build-pkg/fernwise_*.deb
	lintian --fail-on error build-pkg/fernwise_*.deb

# Everything CI runs after the test command.
# A single-node Slurm started as plain processes renders an image as a job
# array of bands (about 15 s).
slurm-check: build
	./scripts/slurm-check.sh $(BUILD)/cli/fernrender

ci: alone sanitize tsan fuzz-smoke slurm-check package

clean:
	rm -rf $(BUILD) $(OUT) build-asan build-tsan build-fuzz build-pkg
