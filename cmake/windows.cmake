# Windows: the DLLs (vorsel.dll, vorsel/strings.dll) name the host's Lua DLL
# they import from and have the C++ runtime linked in statically; vorsel.dll
# carries a version record. Without LUA_LIBRARIES of
# the host's own, dlltool makes an import library from windows/lua51.def under
# the host's DLL name; likewise for luaL_errorlevel (VORSEL_HOST_DLL) unless
# VORSEL_HOST_LIBRARIES names its import library.
set(VORSEL_LUA_DLL "lua51.dll" CACHE STRING "The host's Lua DLL (lua51.dll, lua5.1.dll, ...)")
enable_language(RC)
target_sources(vorsel PRIVATE windows/vorsel.rc)
find_program(DLLTOOL NAMES ${CMAKE_DLLTOOL} dlltool)
# link_import(<libraries, or empty> <name> <def text> <targets...>)
function(link_import libraries name def)
  if(libraries)
    foreach(target ${ARGN})
      target_link_libraries(${target} PRIVATE ${libraries})
    endforeach()
    return()
  elseif(NOT MINGW OR NOT DLLTOOL)
    message(FATAL_ERROR "no dlltool to make the ${name} import library: set its libraries")
  endif()
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${name})
  file(WRITE ${base}.def.in "${def}")
  configure_file(${base}.def.in ${base}.def COPYONLY) # changes only when its text does
  add_custom_command(OUTPUT ${base}.a COMMAND ${DLLTOOL} -d ${base}.def -l ${base}.a DEPENDS ${base}.def)
  list(GET ARGN 0 first)
  target_sources(${first} PRIVATE ${base}.a) # made before it links, and once
  foreach(target ${ARGN})
    target_link_libraries(${target} PRIVATE ${base}.a)
    if(NOT target STREQUAL first)
      add_dependencies(${target} ${first})
    endif()
  endforeach()
endfunction()
file(READ windows/lua51.def lua_def)
# Quoted: a name such as lua5.1.dll has more than one dot.
string(REGEX REPLACE "LIBRARY [^\n]*" "LIBRARY \"${VORSEL_LUA_DLL}\"" lua_def "${lua_def}")
link_import("${LUA_LIBRARIES}" lua_import "${lua_def}" vorsel vorsel_strings)
target_compile_definitions(vorsel PRIVATE VORSEL_LUA_DLL="${VORSEL_LUA_DLL}") # to tell LuaJIT's from Lua's
if(VORSEL_HOST_ERRORLEVEL)
  link_import("${VORSEL_HOST_LIBRARIES}" host_import "LIBRARY \"${VORSEL_HOST_DLL}\"\nEXPORTS\n    luaL_errorlevel\n" vorsel)
endif()
if(VORSEL_GNU_LIKE) # the DLLs need only the Lua DLL and Windows' own DLLs
  target_link_options(vorsel PRIVATE -static-libstdc++ -static-libgcc -static)
  target_link_options(vorsel_strings PRIVATE -static-libstdc++ -static-libgcc -static)
endif()
