# The front door over CMake's presets: make demo, make test. Each target
# installs (as root) or asks for the Debian packages it needs first.
SHELL := /bin/bash
MAKEFLAGS += --no-print-directory
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
DEPS   = @scripts/install-deps
FUZZ_SECONDS ?= 60
.PHONY: all build demo test-build test test-clang test-large memcheck sanitize bench lint install-check \
        test-nginx test-neovim windows test-windows cross test-cross fuzz mutants clean

all: build
build: # the module and its companion, build/vorsel.so and build/vorsel/strings.so
	$(DEPS) demo
	cmake --preset default >/dev/null && cmake --build build -j $(JOBS) --target vorsel vorsel_strings
demo: build
	lua5.1 -e 'package.cpath = "build/?.so;" .. package.cpath' examples/demo.lua
test-build:
	$(DEPS) test
	cmake --preset test >/dev/null && cmake --build build -j $(JOBS)
test: test-build # everything but the full-size and memcheck runs, the README's examples included
	ctest --preset test --no-tests=error -j $(JOBS)
	@tests/summary.sh build/Testing/Temporary/LastTest.log
test-clang sanitize: # the suite built with clang in build-clang/, or with ASan and UBSan in build-sanitize/
	$(DEPS) test
	cmake --preset $(@:test-%=%) >/dev/null && cmake --build build-$(@:test-%=%) -j $(JOBS)
	ctest --preset $(@:test-%=%) --no-tests=error -j $(JOBS)
test-large memcheck: test-build # the full-size tests (several GiB, one at a time); every Lua test file under valgrind
	ctest --preset test --no-tests=error -C heavy $(if $(filter memcheck,$@),-j $(JOBS) -L 'memcheck|leaks',-L large)
bench: # tables, peak memory, instruction counts and chart in build/bench/ (on the test build, for its Lua 5.5)
	$(DEPS) test bench
	cmake --preset test -DVORSEL_BENCH=ON >/dev/null && cmake --build build -j $(JOBS)
	bench/run.sh build
lint: build
	$(DEPS) lint
	clang-tidy -p build --quiet binding/*.cpp seal/*.cpp 2>&1 | grep -v 'warnings generated'; test $${PIPESTATUS[0]} -eq 0
	cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 --inline-suppr --quiet -I . binding seal
	luacheck --quiet binding tests examples bench types
install-check: build # luarocks and cmake --install into private trees
	$(DEPS) install-check
	tests/check_install.sh build
test-nginx: build # the README's nginx recipe in Debian's nginx, unpacked privately
	$(DEPS) nginx
	tests/hosts/nginx.sh build
test-neovim: # the README's Neovim recipe after a luarocks --local make
	$(DEPS) neovim
	tests/hosts/neovim.sh
windows: # vorsel.dll for x64 and x86, read back; and for a lua5.1.dll host
	$(DEPS) windows
	tests/windows/run.sh build
test-windows: windows # the Lua tests in Windows hosts built from Debian's sources, under Wine
	$(DEPS) test-windows
	tests/windows/run.sh test
cross test-cross: # the module for each CPU of tests/cross/cpus in build-<cpu>/; test-cross: its tests under qemu-user
	$(DEPS) cross
	tests/cross/run.sh $(if $(filter test-cross,$@),test,build)
fuzz: # libFuzzer on the Lua-facing functions and on unseal, FUZZ_SECONDS each
	$(DEPS) fuzz
	tests/fuzz/run.sh $(FUZZ_SECONDS)
mutants: test-build # each fault written by hand or made by rule planted alone, the suite run on it (by hand)
	tests/mutants/run.sh
clean:
	rm -rf build build-* build.luarocks
