# The front door: make demo, make test.
SHELL   := /bin/bash
BUILD   ?= build
PRESET  ?= default
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build demo test test-large bench sanitize fuzz memcheck lint install-check windows clean

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
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE 'large|memcheck'

# Benchmark: tables, peak memory, instruction counts and chart in build/bench/.
bench: build
	bench/run.sh $(BUILD)

# Full-size limit cases: several GiB of memory and a minute or two.
test-large: build
	ctest --test-dir $(BUILD) --output-on-failure -L large

# The whole test suite against an ASan + UBSan build of the module and tests.
sanitize: deps
	cmake --preset sanitize
	cmake --build build-sanitize -j $(JOBS)
	ctest --test-dir build-sanitize --output-on-failure -j $(JOBS) -LE large

# clang-tidy (.clang-tidy) and cppcheck on the module's code.
lint: build
	clang-tidy -p $(BUILD) --quiet binding/*.cpp seal/*.cpp 2>&1 | grep -v 'warnings generated' ; test $${PIPESTATUS[0]} -eq 0
	cppcheck --enable=warning,style,performance,portability --std=c++20 --error-exitcode=1 \
	  --inline-suppr --quiet -I . binding seal
	luacheck --quiet .

# luarocks make into a private tree, and cmake --install into a private prefix.
install-check: build
	tests/check_install.sh $(BUILD)

# vorsel.dll for 64-bit Windows, cross-built with mingw-w64, then checked.
windows: deps
	cmake --preset windows
	cmake --build build-windows -j $(JOBS)
	tests/check_windows_dll.sh build-windows/vorsel.dll

# The Lua tests under valgrind's memcheck.
memcheck: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -L memcheck

# libFuzzer on the Lua-facing functions and on unseal, FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS)
	for t in lua_calls unseal; do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  build-fuzz/tests/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$t tests/fuzz/corpus/$$t 2>&1 \
	    | grep -E 'stat::number_of_executed_units|ERROR|invariant|unexpected|Test unit' ; \
	  test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz build-windows build.luarocks
