# Lua 5.5 for the tests: an installed lua5.5 with its headers and library,
# else one built here (lua5.5-dist/ in the build tree) from the release
# sources in VORSEL_LUA55_SOURCE (../shared/lua-5.5.0 beside the clone by
# default). Debian packages neither Lua 5.5 nor busted for it, so the one
# built here finds busted through its default paths: Debian's busted and
# Penlight files (as patched copies where a loop assigns to its control
# variable, which 5.5 makes read-only), LuaFileSystem and lua-term built for
# it from Debian's sources, and a stand-in for lua-system.
# Sets LUA55_EXE, LUA55_INCDIR, LUA55_LIBRARY (a target or a file) and
# LUA55_LINK (what a C program built by hand links), or LUA55_MISSING (why not).
set(lua55_default ${PROJECT_SOURCE_DIR}/../shared/lua-5.5.0)
if(DEFINED ENV{VORSEL_LUA55_SOURCE})
  set(lua55_default $ENV{VORSEL_LUA55_SOURCE})
endif()
set(VORSEL_LUA55_SOURCE ${lua55_default} CACHE PATH "Lua 5.5's release sources, to build a lua5.5 for the tests")
if(linux_native)
  find_program(LUA55_EXE lua5.5)
  find_path(LUA55_INCDIR lua.hpp PATH_SUFFIXES lua5.5 NO_CMAKE_PATH NO_CMAKE_ENVIRONMENT_PATH)
  find_library(LUA55_LIBRARY lua5.5)
endif()
set(LUA55_MISSING)
if(LUA55_EXE AND LUA55_INCDIR MATCHES "lua5.5" AND LUA55_LIBRARY)
  set(LUA55_LINK ${LUA55_LIBRARY})
  return()
elseif(NOT linux_native)
  set(LUA55_MISSING "Lua 5.5 is built for the native tests only")
  return()
elseif(NOT EXISTS ${VORSEL_LUA55_SOURCE}/onelua.c)
  set(LUA55_MISSING "neither an installed lua5.5 with its headers nor Lua 5.5's sources (VORSEL_LUA55_SOURCE)")
  return()
endif()
set(src ${VORSEL_LUA55_SOURCE})
set(dist ${CMAKE_BINARY_DIR}/lua5.5-dist)
find_path(BUSTED_LUA_DIR busted/runner.lua PATHS /usr/share/lua/5.4 /usr/share/lua/5.3 /usr/share/lua/5.1 NO_DEFAULT_PATH)
foreach(pkg lua-filesystem lua-term)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../fetch_source.sh ${dist}/src ${pkg}
                  OUTPUT_VARIABLE ${pkg} RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed)
    set(LUA55_MISSING "the sources of LuaFileSystem and lua-term (apt-get source, with a deb-src entry)")
  endif()
endforeach()
if(NOT BUSTED_LUA_DIR)
  set(LUA55_MISSING "Debian's busted (its Lua files)")
endif()
if(LUA55_MISSING)
  return()
endif()
enable_language(C)
# The headers as a C++ program includes them; the default paths.
file(COPY ${src}/lua.h ${src}/luaconf.h ${src}/lualib.h ${src}/lauxlib.h DESTINATION ${dist}/include)
file(WRITE ${dist}/include/lua.hpp "extern \"C\" {\n#include \"lua.h\"\n#include \"lualib.h\"\n#include \"lauxlib.h\"\n}\n")
file(WRITE ${dist}/paths.h
  "#define LUA_PATH_DEFAULT \"${dist}/share/?.lua;${dist}/share/?/init.lua;"
  "${BUSTED_LUA_DIR}/?.lua;${BUSTED_LUA_DIR}/?/init.lua;./?.lua;./?/init.lua\"\n"
  "#define LUA_CPATH_DEFAULT \"${dist}/clib/?.so;./?.so\"\n")
# The library (for the C hosts) and the interpreter, which exports its API to
# modules; like Debian's interpreters, without the sanitizers of a sanitized
# build (the tests preload their runtime), which check the module, not Lua.
if(VORSEL_SANITIZE)
  set(lua55_flags -fno-sanitize=all)
endif()
# Its API checks are on (LUA_USE_APICHECK, with assert working in any build
# type): a call the module makes against the rules of the API (an invalid
# index, a stack overflow) stops the interpreter.
add_library(lua55 STATIC ${src}/onelua.c)
target_compile_definitions(lua55 PRIVATE MAKE_LIB LUA_USE_LINUX LUA_USE_APICHECK)
target_compile_options(lua55 PRIVATE -w -UNDEBUG -include ${dist}/paths.h ${lua55_flags})
target_link_libraries(lua55 PUBLIC m dl)
set_target_properties(lua55 PROPERTIES POSITION_INDEPENDENT_CODE ON ARCHIVE_OUTPUT_DIRECTORY ${dist}/lib)
add_executable(lua55_interpreter ${src}/lua.c)
target_compile_definitions(lua55_interpreter PRIVATE LUA_USE_LINUX)
target_compile_options(lua55_interpreter PRIVATE ${lua55_flags})
target_link_libraries(lua55_interpreter PRIVATE lua55)
set_target_properties(lua55_interpreter PROPERTIES OUTPUT_NAME lua5.5 RUNTIME_OUTPUT_DIRECTORY ${dist}/bin
                      ENABLE_EXPORTS ON)
# busted's C libraries: LuaFileSystem admits Lua 5.5 in a copy.
file(READ ${lua-filesystem}/src/lfs.c lfs)
string(REPLACE "LUA_VERSION_NUM <= 504" "LUA_VERSION_NUM <= 505" lfs "${lfs}")
file(WRITE ${dist}/lfs.c "${lfs}")
foreach(lib lfs|${dist}/lfs.c|clib term_core|${lua-term}/core.c|clib/term)
  string(REPLACE "|" ";" lib ${lib})
  list(GET lib 0 name)
  list(GET lib 1 file)
  list(GET lib 2 folder)
  add_library(lua55_${name} MODULE ${file})
  target_include_directories(lua55_${name} PRIVATE ${dist}/include ${lua-filesystem}/src)
  target_compile_options(lua55_${name} PRIVATE -w ${lua55_flags})
  string(REGEX REPLACE ".*_" "" output ${name})
  set_target_properties(lua55_${name} PROPERTIES PREFIX "" OUTPUT_NAME ${output} LIBRARY_OUTPUT_DIRECTORY ${dist}/${folder})
endforeach()
add_custom_command(OUTPUT ${dist}/share/system.lua
  COMMAND lua55_interpreter ${CMAKE_CURRENT_LIST_DIR}/loop_variables.lua ${BUSTED_LUA_DIR} ${dist}/share
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/../stand-ins/system.lua ${dist}/share/system.lua
  DEPENDS lua55_interpreter ${CMAKE_CURRENT_LIST_DIR}/loop_variables.lua ${CMAKE_CURRENT_LIST_DIR}/../stand-ins/system.lua)
add_custom_target(lua55_busted ALL DEPENDS ${dist}/share/system.lua lua55_lfs lua55_term_core)
set(LUA55_EXE ${dist}/bin/lua5.5)
set(LUA55_INCDIR ${dist}/include)
set(LUA55_LIBRARY lua55)
set(LUA55_LINK "${dist}/lib/liblua55.a -lm -ldl -Wl,-E") # for a C program built by hand
