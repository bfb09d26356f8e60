# The front door: make demo, make test.
BUILD   ?= build
PRESET  ?= default
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build demo test test-large clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake --preset $(PRESET)

configure: $(BUILD)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	cd $(CURDIR) && lua5.1 -e 'package.cpath = "$(BUILD)/?.so;" .. package.cpath' examples/demo.lua

test: build
	@echo "Known-answer data read by aes128_vectors_test:"
	@$(BUILD)/tests/aes128_vectors_test --gtest_brief=1 2>&1 | grep -E 'vectors checked|SKIPPED|FAILED' | sed 's/^/  /' || true
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE large

# Full-size limit cases: several GiB of memory and a minute or two.
test-large: build
	ctest --test-dir $(BUILD) --output-on-failure -L large

clean:
	rm -rf $(BUILD)
