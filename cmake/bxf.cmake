# Helpers shared by the folders' build files.

# bxf_module_library(<name> <sources>...): a static library of modules.
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
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  include(GoogleTest)
  # Tests that share files beside their program set BXF_TEST_RESOURCE_LOCK
  # before calling, so ctest never runs two of them at once.
  set(lock "")
  if(DEFINED BXF_TEST_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${BXF_TEST_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${lock})
endfunction()
