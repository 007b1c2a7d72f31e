# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
OUT ?= out

.PHONY: all deps configure build run render test clean

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

clean:
	rm -rf $(BUILD) $(OUT)
