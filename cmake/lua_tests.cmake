# vorsel_lua_tests(COMMAND <command...> NAME <prefix>%<suffix> [ENV <vars>] [LABELS <labels>]
#                  [ONLY <names>] [EXCEPT <names>]): for each tests/lua/<name>_test.lua (those
# of ONLY, less those of EXCEPT) a test NAME (% is <name>) that runs COMMAND <file> in tests/lua.
# Labels large (the large files) and memcheck run only when asked: ctest -C heavy -L <label>.
set(VORSEL_LUA_TEST_DIR ${CMAKE_CURRENT_LIST_DIR}/../tests/lua)
set(VORSEL_TEST_TIMEOUT 900 CACHE STRING "Seconds a Lua test or a C host may run (make mutants gives less)")
function(vorsel_lua_tests)
  cmake_parse_arguments(T "" "NAME" "COMMAND;ENV;LABELS;ONLY;EXCEPT" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${VORSEL_LUA_TEST_DIR}/*_test.lua)
  foreach(file ${files})
    string(REGEX REPLACE ".*/(.*)_test[.]lua$" "\\1" name ${file})
    if((T_ONLY AND NOT name IN_LIST T_ONLY) OR name IN_LIST T_EXCEPT)
      continue()
    endif()
    string(REPLACE "%" ${name} test ${T_NAME})
    set(labels ${T_LABELS})
    if(name MATCHES "^large")
      list(APPEND labels large)
    endif()
    set(configurations)
    if("large" IN_LIST labels OR "memcheck" IN_LIST labels)
      set(configurations CONFIGURATIONS heavy)
    endif()
    add_test(NAME ${test} COMMAND ${T_COMMAND} ${file} ${configurations}
             WORKING_DIRECTORY ${VORSEL_LUA_TEST_DIR})
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${T_ENV}" LABELS "${labels}" TIMEOUT ${VORSEL_TEST_TIMEOUT})
  endforeach()
endfunction()
