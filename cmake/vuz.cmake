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
  # One variable only: the discovery step splits a list of them apart.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "VUZ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()

# vuz_folder_library(NAME [SOURCES...] [EXCLUDE files...] DEPENDS libs...): a
# static library of every .cc file in the calling folder but the EXCLUDE ones,
# which a lower library of the same folder holds.
function(vuz_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(NOT sources AND NOT ARG_UNPARSED_ARGUMENTS)
    # A folder whose code has not landed yet.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    if(ARG_DEPENDS)
      target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    endif()
    return()
  endif()
  vuz_library(${name} ${sources} ${ARG_UNPARSED_ARGUMENTS} DEPENDS ${ARG_DEPENDS})
endfunction()

# vuz_folder_tests(PREFIX [SOURCES...] [EXCLUDE files...] DEPENDS libs...): one
# test program per *-test.cc file in the calling folder but the EXCLUDE ones,
# named PREFIX_<file>.
function(vuz_folder_tests prefix)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*-test.cc)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM tests ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  foreach(test ${tests})
    get_filename_component(stem ${test} NAME_WE)
    string(REPLACE "-" "_" stem ${stem})
    vuz_unit_test(${prefix}_${stem} ${test} ${ARG_UNPARSED_ARGUMENTS} DEPENDS ${ARG_DEPENDS})
  endforeach()
endfunction()

# The programs are linked statically: loading and binding shared libraries
# costs more at start-up than the whole of a dry run.
find_program(VUZ_LLD ld.lld)
set(VUZ_STARTUP_ORDER ${PROJECT_SOURCE_DIR}/cmake/startup-order.txt)
function(vuz_program_link_options name)
  if(NOT VUZ_SANITIZE)
    # In place of the fixed-address option the other programs get; the
    # sections that nothing reaches are left out, which makes the file to
    # map smaller.
    set(options -static -Wl,--gc-sections)
    if(VUZ_LLD)
      # A short run faults in its program a page, or a 64 KiB window of code,
      # at a time: what such runs touch is placed together, so that they
      # fault in a few windows instead of pages scattered over the file.
      list(APPEND options -fuse-ld=lld -Wl,--symbol-ordering-file=${VUZ_STARTUP_ORDER}
           -Wl,--no-warn-symbol-ordering)
      set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${VUZ_STARTUP_ORDER})
    endif()
    set_property(TARGET ${name} PROPERTY LINK_OPTIONS ${options})
  endif()
endfunction()

# vuz_python_tests(PREFIX MODULE_FILE ENVIRONMENT env [DEPENDS targets...]):
# each test method of a Python unittest module registered as a test of its
# own, PREFIX_Class.test_name, so that no single test runs a whole module.
# The module is read again whenever it changes.
function(vuz_python_tests prefix module_file)
  cmake_parse_arguments(ARG "" "ENVIRONMENT" "DEPENDS" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${module_file})
  get_filename_component(module ${module_file} NAME_WE)
  get_filename_component(directory ${module_file} DIRECTORY)
  file(STRINGS ${module_file} lines REGEX "^(class [A-Za-z_0-9]+\\(|    def test_)")
  set(class "")
  foreach(line ${lines})
    if(line MATCHES "^class ([A-Za-z_0-9]+)\\(")
      set(class ${CMAKE_MATCH_1})
    elseif(line MATCHES "^    def (test_[A-Za-z_0-9]+)" AND class)
      set(name ${prefix}_${class}.${CMAKE_MATCH_1})
      add_test(NAME ${name}
        COMMAND ${Python3_EXECUTABLE} -m unittest ${module}.${class}.${CMAKE_MATCH_1}
        WORKING_DIRECTORY ${directory})
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
      if(ARG_DEPENDS)
        set_tests_properties(${name} PROPERTIES DEPENDS "${ARG_DEPENDS}")
      endif()
    endif()
  endforeach()
endfunction()
