# The libFuzzer targets (clang, with TANDREL_SANITIZE), each a test that fuzzes for 60 seconds
# from its seed corpus in tests/fuzz/; the inputs found go to a corpus in the build tree.
target_compile_options(tandrel_core PUBLIC -fsanitize=fuzzer-no-link)
enable_testing()
foreach(name command_line pattern)
  add_executable(fuzz_${name} tests/fuzz/${name}_fuzz.cc)
  target_link_libraries(fuzz_${name} PRIVATE tandrel_core)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/corpus/${name})
  add_test(NAME fuzz_${name}
    COMMAND fuzz_${name} -max_total_time=60 -timeout=10 -print_final_stats=1
      -artifact_prefix=${CMAKE_BINARY_DIR}/${name}- ${CMAKE_BINARY_DIR}/corpus/${name}
      ${CMAKE_SOURCE_DIR}/tests/fuzz/${name})
endforeach()
