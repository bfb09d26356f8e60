# The front door over CMake's presets: make demo, make test. Each target
# installs (as root) or asks for the Debian packages it needs first.
SHELL := /bin/bash
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
DEPS   = @scripts/install-deps
CPUS  ?= $(shell awk '!/^\#/ { print $$1 }' tests/cross/cpus)
FUZZ_SECONDS ?= 60
WINE_ENV = WINEPREFIX=$(CURDIR)/build-wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
           WINELOADER=/usr/lib/wine/wine64
.PHONY: all build demo test-build test test-large memcheck sanitize bench lint install-check \
        test-nginx test-neovim windows test-windows cross test-cross fuzz clean

all: build
build: # the module alone, build/vorsel.so
	$(DEPS) demo
	cmake --preset default >/dev/null && cmake --build build -j $(JOBS) --target vorsel
demo: build
	lua5.1 -e 'package.cpath = "build/?.so;" .. package.cpath' examples/demo.lua
test-build:
	$(DEPS) test
	cmake --preset test >/dev/null && cmake --build build -j $(JOBS)
test: test-build # everything but the full-size and memcheck runs, the README's examples included
	ctest --preset test -j $(JOBS)
	@grep -h -E 'vectors checked|SKIPPED' build/Testing/Temporary/LastTest.log | sed 's/^/  /' || true
test-large: test-build # several GiB and a minute or two
	ctest --preset test -C heavy -L large
memcheck: test-build # every Lua test file under valgrind
	ctest --preset test -C heavy -j $(JOBS) -L 'memcheck|leaks'
sanitize:
	$(DEPS) sanitize
	cmake --preset sanitize >/dev/null && cmake --build build-sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)
bench: # tables, peak memory, instruction counts and chart in build/bench/
	$(DEPS) bench
	cmake --preset default -DVORSEL_BENCH=ON >/dev/null && cmake --build build -j $(JOBS)
	bench/run.sh build
lint: build
	$(DEPS) lint
	cmake --build build -j $(JOBS)
	clang-tidy -p build --quiet binding/*.cpp seal/*.cpp 2>&1 | grep -v 'warnings generated'; test $${PIPESTATUS[0]} -eq 0
	cppcheck --enable=warning,style,performance,portability --std=c++17 --error-exitcode=1 \
	  --inline-suppr --quiet -I . binding seal
	luacheck --quiet tests examples bench types
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
	for w in x64 x86; do cmake --preset windows-$$w >/dev/null && cmake --build build-windows-$$w -j $(JOBS) \
	  && tests/check_windows_dll.sh build-windows-$$w/vorsel.dll || exit 1; done
	cmake --preset windows-x64 -B build-windows-x64-lua5.1 -DVORSEL_LUA_DLL=lua5.1.dll >/dev/null
	cmake --build build-windows-x64-lua5.1 -j $(JOBS)
	tests/check_windows_dll.sh build-windows-x64-lua5.1/vorsel.dll lua5.1.dll | grep imports
test-windows: windows # the Lua tests in Windows hosts built from Debian's sources, under Wine
	$(DEPS) test-windows
	tests/windows/build-hosts.sh build-wine
	cmake --preset windows-x64 -B build-windows-x64-hosterr -DVORSEL_HOST_ERRORLEVEL=ON >/dev/null
	cmake --build build-windows-x64-hosterr -j $(JOBS)
	cd tests/lua && lua5.1 write_openssl_answers.lua ../../build-wine/openssl_answers.lua
	$(WINE_ENV) /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
	cmake -S tests/windows -B build-wine/ctest >/dev/null
	ctest --test-dir build-wine/ctest --output-on-failure -j $(JOBS)
cross: # the module for each CPU of tests/cross/cpus: build-<cpu>/
	$(DEPS) cross
	for a in $(CPUS); do tests/cross/sysroot.sh $$a build-cross/root-$$a && cmake -S . -B build-$$a \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DVORSEL_CROSS_ARCH=$$a -DVORSEL_SYSROOT=$(CURDIR)/build-cross/root-$$a \
	  -DVORSEL_GTEST_SOURCE=/usr/src/googletest -DCMAKE_BUILD_TYPE=Release -DVORSEL_BENCH=OFF >/dev/null \
	  && cmake --build build-$$a -j $(JOBS) && NM=$$(sed -n 's/^CMAKE_NM:FILEPATH=//p' build-$$a/CMakeCache.txt) \
	  sh tests/check_library.sh build-$$a/vorsel.so || exit 1; done
test-cross: cross # under qemu-user: the Lua tests and the cipher's tests per core
	for a in $(CPUS); do ctest --test-dir build-$$a --output-on-failure -j $(JOBS) || exit 1; done
	@for a in $(CPUS); do tests/cross/summary.sh $$a build-$$a; done
fuzz: # libFuzzer on the Lua-facing functions and on unseal, FUZZ_SECONDS each
	$(DEPS) fuzz
	cmake --preset fuzz >/dev/null && cmake --build build-fuzz -j $(JOBS)
	for t in lua_calls unseal; do mkdir -p build-fuzz/corpus/$$t && build-fuzz/tests/fuzz/$${t}_fuzz \
	  -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$t \
	  tests/fuzz/corpus/$$t 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|invariant|unexpected|Test unit'; \
	  test $${PIPESTATUS[0]} -eq 0 || exit 1; done
clean:
	rm -rf build build-* build.luarocks
