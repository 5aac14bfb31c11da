# Helpers shared by the subsystem folders.

# vuz_library(NAME SOURCES... [DEPENDS libs...])
function(vuz_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  if(ARG_DEPENDS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()

# vuz_unit_test(NAME SOURCES... DEPENDS libs...): a GoogleTest program whose
# cases are registered with CTest one by one.
function(vuz_unit_test name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1;VUZ_SOURCE_DIR=${PROJECT_SOURCE_DIR};VUZ_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
