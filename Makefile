# The front door: make demo, make test. Each target installs (as root) or
# asks for only the Debian packages it needs: see scripts/install-deps.
SHELL   := /bin/bash
BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
DEPS    := scripts/install-deps
# The default build, configured into $(BUILD).
CONFIGURE = cmake --preset default -B $(BUILD)

.PHONY: all build demo test-build test test-large bench sanitize fuzz memcheck lint install-check windows test-windows cross test-cross clean

all: build

# The module alone: CMake leaves out whatever tests have no tools here.
build:
	@$(DEPS) demo
	@$(CONFIGURE) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	lua5.1 -e 'package.cpath = "$(BUILD)/?.so;" .. package.cpath' examples/demo.lua

# The module and every test, built; a missing test tool is an error here.
test-build:
	@$(DEPS) test
	@$(CONFIGURE) -DVORSEL_TESTS=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Every test but the full-size ones and the slow memcheck runs.
test: test-build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE 'large|memcheck'
	@echo "Known-answer data read by aes128_vectors_test:"
	@grep -h -E 'vectors checked|SKIPPED' $(BUILD)/Testing/Temporary/LastTest.log | sed 's/^/  /' || true

# Full-size limit cases: several GiB of memory and a minute or two.
test-large: test-build
	ctest --test-dir $(BUILD) --output-on-failure -L large

# The Lua tests under valgrind's memcheck (lua5.1), all of them.
memcheck: test-build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -L 'memcheck|leaks'

# The whole test suite against an ASan + UBSan build of the module and tests.
sanitize:
	@$(DEPS) sanitize
	cmake --preset sanitize -DVORSEL_TESTS=ON >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	ctest --test-dir build-sanitize --output-on-failure -j $(JOBS) -LE large

# Benchmark: tables, peak memory, instruction counts and chart in $(BUILD)/bench/.
bench:
	@$(DEPS) bench
	@$(CONFIGURE) -DVORSEL_BENCH=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	bench/run.sh $(BUILD)

# clang-tidy (.clang-tidy) and cppcheck on the module's code, luacheck on the Lua.
lint:
	@$(DEPS) lint
	@$(CONFIGURE) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	clang-tidy -p $(BUILD) --quiet binding/*.cpp seal/*.cpp 2>&1 | grep -v 'warnings generated' ; test $${PIPESTATUS[0]} -eq 0
	cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 \
	  --inline-suppr --quiet -I . binding seal
	luacheck --quiet tests examples bench types

# luarocks make into a private tree, and cmake --install into a private prefix.
install-check: build
	@$(DEPS) install-check
	tests/check_install.sh $(BUILD)

# vorsel.dll for x64 and x86 Windows, cross-built with mingw-w64, then
# read back: build-windows-x64/ and build-windows-x86/.
windows:
	@$(DEPS) windows
	for w in x64 x86; do \
	  cmake --preset windows-$$w >/dev/null && cmake --build build-windows-$$w -j $(JOBS) && \
	  tests/check_windows_dll.sh build-windows-$$w/vorsel.dll || exit 1; \
	done
	# A host whose Lua DLL has another name.
	cmake --preset windows-x64 -B build-windows-x64-lua5.1 -DVORSEL_LUA_DLL=lua5.1.dll >/dev/null
	cmake --build build-windows-x64-lua5.1 -j $(JOBS)
	tests/check_windows_dll.sh build-windows-x64-lua5.1/vorsel.dll lua5.1.dll | grep imports

# The Lua test files under busted in Lua 5.1.5 and LuaJIT 2.1 hosts, x64 and
# x86, under Wine; the hosts are built from Debian's sources in build-wine/.
WINE_ENV = WINEPREFIX=$(CURDIR)/build-wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
test-windows: windows
	@$(DEPS) test-windows
	tests/windows/build-hosts.sh build-wine
	cmake --preset windows-x64 -B build-windows-x64-hosterr -DVORSEL_HOST_ERRORLEVEL=ON >/dev/null
	cmake --build build-windows-x64-hosterr -j $(JOBS)
	cd tests/lua && lua5.1 write_openssl_answers.lua ../../build-wine/openssl_answers.lua
	$(WINE_ENV) WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
	cmake -S tests/windows -B build-wine/ctest >/dev/null
	ctest --test-dir build-wine/ctest --output-on-failure -j $(JOBS)

# The module for other CPUs, with Debian's cross compilers against each
# CPU's own Lua 5.1 headers: build-i386/, build-arm64/, build-s390x/.
CROSS_ARCHS ?= i386 arm64 s390x
cross:
	@$(DEPS) cross
	for a in $(CROSS_ARCHS); do \
	  tests/cross/sysroot.sh $$a build-cross/root-$$a && \
	  cmake -S . -B build-$$a -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DVORSEL_CROSS_ARCH=$$a \
	    -DVORSEL_SYSROOT=$(CURDIR)/build-cross/root-$$a -DVORSEL_GTEST_SOURCE=/usr/src/googletest \
	    -DCMAKE_BUILD_TYPE=Release -DVORSEL_BENCH=OFF >/dev/null && \
	  cmake --build build-$$a -j $(JOBS) && \
	  NM=$$(sed -n 's/^CMAKE_NM:FILEPATH=//p' build-$$a/CMakeCache.txt) sh tests/check_library.sh build-$$a/vorsel.so \
	  || exit 1; \
	done

# Under qemu-user: the Lua test files with each CPU's own interpreters, and
# the sealing core's known-answer tests; then how many ran and were skipped.
test-cross: cross
	for a in $(CROSS_ARCHS); do \
	  ctest --test-dir build-$$a --output-on-failure -j $(JOBS) -LE large || exit 1; \
	done
	@for a in $(CROSS_ARCHS); do tests/cross/summary.sh $$a build-$$a; done

# libFuzzer on the Lua-facing functions and on unseal, FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
fuzz:
	@$(DEPS) fuzz
	cmake --preset fuzz >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	for t in lua_calls unseal; do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  build-fuzz/tests/fuzz/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$t tests/fuzz/corpus/$$t 2>&1 \
	    | grep -E 'stat::number_of_executed_units|ERROR|invariant|unexpected|Test unit' ; \
	  test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz build-windows-* build-wine build-cross build-i386 build-arm64 build-s390x build.luarocks
