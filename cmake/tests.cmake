# Tests: GoogleTest built from the Debian sources for every build, unit tests over the
# program's procedures, end-to-end tests that run the built program on temporary trees.
set(TANDREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TANDREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Our warning flags are for our code; GoogleTest's own sources trip GCC 12 false positives.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
endif()

include(GoogleTest)

file(GLOB TANDREL_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cc)
list(FILTER TANDREL_TEST_SUPPORT EXCLUDE REGEX "run_program_")
add_library(tandrel_test_support STATIC ${TANDREL_TEST_SUPPORT})
if(WIN32)
  target_sources(tandrel_test_support PRIVATE tests/support/run_program_win32.cc)
else()
  target_sources(tandrel_test_support PRIVATE tests/support/run_program_posix.cc)
endif()
target_include_directories(tandrel_test_support PUBLIC tests/support)
target_link_libraries(tandrel_test_support PUBLIC tandrel_core GTest::gtest)
target_compile_definitions(tandrel_test_support PRIVATE
  TANDREL_PROGRAM_PATH="$<TARGET_FILE:tandrel>")

# Which test sources to build (all by default; a narrower pattern builds a few while writing them).
set(TANDREL_UNIT_TEST_PATTERN "*.cc" CACHE STRING "Unit test sources to build")
set(TANDREL_E2E_TEST_PATTERN "*.cc" CACHE STRING "End-to-end test sources to build")

file(GLOB TANDREL_UNIT_TESTS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/unit/${TANDREL_UNIT_TEST_PATTERN})
file(GLOB TANDREL_E2E_TESTS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/e2e/${TANDREL_E2E_TEST_PATTERN})
# The volumes some tests need (a 1 MiB tmpfs, an exFAT drive), mounted for the whole run when
# the tests run as root.
set(TANDREL_TEST_VOLUMES ${CMAKE_BINARY_DIR}/volumes)
add_test(NAME volumes_mount COMMAND ${CMAKE_SOURCE_DIR}/cmake/test-volumes mount ${TANDREL_TEST_VOLUMES})
add_test(NAME volumes_unmount
  COMMAND ${CMAKE_SOURCE_DIR}/cmake/test-volumes unmount ${TANDREL_TEST_VOLUMES})
set_tests_properties(volumes_mount PROPERTIES FIXTURES_SETUP test_run)
set_tests_properties(volumes_unmount PROPERTIES FIXTURES_CLEANUP test_run)
set(TANDREL_TEST_PROPERTIES FIXTURES_REQUIRED test_run)
set(TANDREL_TEST_SUITES "")
if(TANDREL_UNIT_TESTS)
  add_executable(tandrel_unit_tests ${TANDREL_UNIT_TESTS})
  target_link_libraries(tandrel_unit_tests PRIVATE tandrel_test_support GTest::gtest_main)
  list(APPEND TANDREL_TEST_SUITES tandrel_unit_tests)
endif()
if(TANDREL_E2E_TESTS)
  add_executable(tandrel_e2e_tests ${TANDREL_E2E_TESTS})
  target_link_libraries(tandrel_e2e_tests PRIVATE tandrel_test_support GTest::gtest_main)
  add_dependencies(tandrel_e2e_tests tandrel)
  target_compile_definitions(tandrel_e2e_tests PRIVATE
    TANDREL_TEST_VOLUMES="${TANDREL_TEST_VOLUMES}"
    TANDREL_FAULT_INJECTION=$<BOOL:${TANDREL_FAULT_INJECTION}>)
  list(APPEND TANDREL_TEST_SUITES tandrel_e2e_tests)
endif()

if(CMAKE_CROSSCOMPILING)
  # One persistent wineserver serves the whole run; it is ended and waited for at the end.
  add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP test_run)

  # The deliverable may import Windows system DLLs only.
  add_test(NAME windows_imports
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-imports ${TANDREL_OBJDUMP} $<TARGET_FILE:tandrel>)
endif()

if(NOT WIN32)
  # The manual page is clean under mandoc's lint and shows every option with its default, as
  # the README's option table does.
  add_test(NAME manual_page COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-manual
    ${CMAKE_BINARY_DIR}/tandrel.1 ${CMAKE_SOURCE_DIR}/src/settings/options.cc
    ${CMAKE_SOURCE_DIR}/README.md)
  # The bash completion completes every option of the table, values and directories.
  add_test(NAME bash_completion COMMAND ${CMAKE_SOURCE_DIR}/cmake/check-completion
    ${CMAKE_BINARY_DIR}/tandrel.bash ${CMAKE_SOURCE_DIR}/src/settings/options.cc)
endif()

# Includes run one way only: cli, then sync, then scan, then output and the settings, then
# platform.
add_test(NAME includes_run_one_way COMMAND sh -c
  "cd '${CMAKE_SOURCE_DIR}/src' && ! grep -rn -E '#include \"(sync|cli)/' scan output settings platform && ! grep -rn '#include \"cli/' sync && ! grep -rn -E '#include \"(scan|sync|cli)/' output settings platform")

# A build without fault injection carries none of it (neither its wrappers nor its variables).
if(NOT TANDREL_FAULT_INJECTION AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME no_fault_injection
    COMMAND sh -c "! grep -a -q -e __wrap_ -e TANDREL_FAIL_CALL \"$1\"" sh $<TARGET_FILE:tandrel>)
endif()

foreach(suite ${TANDREL_TEST_SUITES})
  gtest_discover_tests(${suite}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 180
    PROPERTIES ${TANDREL_TEST_PROPERTIES} ENVIRONMENT "LC_ALL=C.UTF-8"
    ENVIRONMENT_MODIFICATION "TANDREL_EVERY_COPY_AHEAD=set:1")
endforeach()
