# Helpers shared by every CMakeLists of the project.

# lumivel_test(<name> LABEL unit|directory SOURCES <files...> [LIBS <targets...>] [TIMEOUT <s>])
# A GoogleTest program run as one ctest entry, linked with the test-support library
# (tests/support). Directory tests run inside the test directory's network namespace, with
# its Kerberos configuration and ticket.
function(lumivel_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} lumivel_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  if(T_LABEL STREQUAL "directory")
    add_test(NAME ${name} COMMAND ${LUMIVEL_TESTDC} exec $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "LUMIVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR};LUMIVEL_BIN_DIR=${LUMIVEL_BIN_DIR};LUMIVEL_AUDIT_LOG=${CMAKE_BINARY_DIR}/test-audit/audit.log;LUMIVEL_CONFIG_DIR=${CMAKE_BINARY_DIR}/test-config")
endfunction()

# lumivel_com_module(<name> SOURCES <files...> [LIBS <targets...>])
# An in-process COM server: <name>.so without the "lib" prefix, exporting only its
# Dll* entry points.
function(lumivel_com_module name)
  cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${M_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so"
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE platform ${M_LIBS})
endfunction()
