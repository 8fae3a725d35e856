# The two commands: `make test` and `make demo`. Both set up what a fresh machine lacks first.
BUILD ?= build
JOBS ?= 2

.PHONY: setup build test demo bench clean

setup:
	@scripts/setup

build: setup
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	@JOBS=$(JOBS) BUILD_DIR=$(abspath $(BUILD)) scripts/hardened

demo: build
	@BUILD_DIR=$(abspath $(BUILD)) scripts/demo

bench: build
	@scripts/bench

clean:
	@rm -rf $(BUILD)
