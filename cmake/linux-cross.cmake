# Cross-compiling for Linux on a CPU of tests/cross/cpus with Debian's cross compilers (or
# clang: -DVORSEL_CROSS_COMPILER=clang), against the CPU's Lua 5.1 headers unpacked by
# tests/cross/sysroot.sh: -DVORSEL_CROSS_ARCH=<arch> -DVORSEL_SYSROOT=<folder>. Test
# programs are linked statically and run under qemu-user.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORSEL_CROSS_ARCH VORSEL_SYSROOT VORSEL_CROSS_COMPILER)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../tests/cross/cpus cpu REGEX "^${VORSEL_CROSS_ARCH} ")
if(NOT VORSEL_CROSS_ARCH OR NOT cpu)
  message(FATAL_ERROR "VORSEL_CROSS_ARCH must be one of the CPUs in tests/cross/cpus")
endif()
string(REGEX REPLACE " +" ";" cpu "${cpu}")
list(GET cpu 1 triple)
list(GET cpu 2 multiarch)
list(GET cpu 3 qemu)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${triple})
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_C_COMPILER ${triple}-gcc)
if(VORSEL_CROSS_COMPILER STREQUAL "clang") # clang's --target; GCC's compilers take none
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER clang)
endif()
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L ${VORSEL_SYSROOT})
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Debian's luaconf.h includes a header of the architecture's own.
set(CMAKE_CXX_FLAGS_INIT "-isystem ${VORSEL_SYSROOT}/usr/include/${multiarch}")
set(LUA_INCDIR ${VORSEL_SYSROOT}/usr/include/lua5.1 CACHE PATH "The target's Lua 5.1 headers")
set(CMAKE_FIND_ROOT_PATH ${VORSEL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
foreach(kind LIBRARY INCLUDE PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_${kind} ONLY)
endforeach()
