# Helpers shared by the folders' build files.

# bxf_static_library(<name> <sources>...): a static library of modules whose
# headers sit beside their sources.
function(bxf_static_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# bxf_shared_module(<target> <output file name> <sources>...): a module file
# loaded with dlopen that exports only what its sources mark for export.
function(bxf_shared_module target file_name)
  add_library(${target} MODULE ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME "${file_name}")
  target_link_options(${target} PRIVATE "-Wl,--exclude-libs,ALL" "-Wl,--no-undefined")
endfunction()

# bxf_test(<name> <sources>...): a GoogleTest executable registered with ctest.
function(bxf_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE test_support GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  # Tests that share files beside their program set BXF_TEST_RESOURCE_LOCK
  # before calling, so ctest never runs two of them at once.
  set(lock "")
  if(DEFINED BXF_TEST_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${BXF_TEST_RESOURCE_LOCK})
  endif()
  # Leaks of libraries we call, not ours, are suppressed (cmake/lsan.supp);
  # the programs the tests run inherit the setting.
  set(environment "")
  if(BXF_SANITIZE)
    set(environment ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
  endif()
  # Parameterised cases are named by their suite's name generator alone,
  # never by a dump of the parameter's bytes (NO_PRETTY_VALUES).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES TIMEOUT 300 ${lock} ${environment})
endfunction()

# bxf_manual_page(<program target> <include file>): the program's manual page
# in section 1, written at build time by help2man from the program's --help
# and --version, with the sections of <include file> (name, exit status,
# files, examples) added; installed compressed, as Debian keeps them.
function(bxf_manual_page target include_file)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(
    OUTPUT ${page} ${page}.gz
    COMMAND ${BXF_HELP2MAN} --no-info --section=1 --include=${include_file} --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${BXF_GZIP} -9 -n -f -k ${page}
    DEPENDS ${target} ${include_file}
    COMMENT "Writing the manual page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}_manual_page ALL DEPENDS ${page} ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${BXF_INSTALL_MANDIR}/man1)
endfunction()
