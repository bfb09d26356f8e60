# Windows: the DLL names the host's Lua DLL it imports from, carries a
# version record, and has the C++ runtime linked in statically. Without a
# LUA_LIBRARIES of the host's own, the import library is made with dlltool
# from windows/lua51.def under the DLL name the host uses.
set(VORSEL_LUA_DLL "lua51.dll" CACHE STRING "The host's Lua DLL (lua51.dll, lua5.1.dll, ...)")
enable_language(RC)
target_sources(vorsel PRIVATE windows/vorsel.rc)
set_target_properties(vorsel PROPERTIES SUFFIX ".dll")
find_program(DLLTOOL NAMES ${CMAKE_DLLTOOL} dlltool)

# vorsel_import_library(<name> <def text>): lib<name>.a from a .def text.
function(vorsel_import_library name def)
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${name})
  # Written through configure_file so that it only changes when its text does.
  file(WRITE ${base}.def.in "${def}")
  configure_file(${base}.def.in ${base}.def COPYONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a
    COMMAND ${DLLTOOL} -d ${base}.def -l ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a DEPENDS ${base}.def)
  add_custom_target(${name} DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  add_dependencies(vorsel ${name})
  target_link_libraries(vorsel PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
endfunction()

if(LUA_LIBRARIES)
  target_link_libraries(vorsel PRIVATE ${LUA_LIBRARIES})
elseif(MINGW AND DLLTOOL)
  file(READ windows/lua51.def lua_def)
  # Quoted: a name such as lua5.1.dll has more than one dot.
  string(REGEX REPLACE "LIBRARY [^\n]*" "LIBRARY \"${VORSEL_LUA_DLL}\"" lua_def "${lua_def}")
  vorsel_import_library(lua_import "${lua_def}")
else()
  message(FATAL_ERROR "set LUA_LIBRARIES to the import library of ${VORSEL_LUA_DLL}")
endif()
if(VORSEL_HOST_ERRORLEVEL AND VORSEL_HOST_LIBRARIES)
  target_link_libraries(vorsel PRIVATE ${VORSEL_HOST_LIBRARIES})
elseif(VORSEL_HOST_ERRORLEVEL AND MINGW AND DLLTOOL)
  # luaL_errorlevel comes from the host library's DLL.
  vorsel_import_library(host_import "LIBRARY \"${VORSEL_HOST_DLL}\"\nEXPORTS\n    luaL_errorlevel\n")
elseif(VORSEL_HOST_ERRORLEVEL)
  message(FATAL_ERROR "set VORSEL_HOST_LIBRARIES to the import library of ${VORSEL_HOST_DLL}")
endif()
if(VORSEL_GNU_LIKE)
  # The DLL needs only the Lua DLL and Windows' own DLLs.
  target_link_options(vorsel PRIVATE -static-libstdc++ -static-libgcc -static)
endif()
