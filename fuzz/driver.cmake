# The spec interpreter over arbitrary spec text, and the spec-file reader over
# arbitrary files, both with a fixed switch table.
vuz_fuzz_target(fuzz_driver_specs ${CMAKE_CURRENT_SOURCE_DIR}/driver-specs.cc
                ${CMAKE_CURRENT_SOURCE_DIR}/driver-leaks.cc ${CMAKE_CURRENT_SOURCE_DIR}/scratch.cc
                ${PROJECT_SOURCE_DIR}/tests/common/spec-fuzz-input.cc
                ${PROJECT_SOURCE_DIR}/driver/lang/c-driver.cc DEPENDS vuz_driver)

# Whole dry runs in one process, with driver_reset between them: over
# arbitrary command lines, and over arbitrary values of the environment
# variables the driver reads.
foreach(target run env)
  vuz_fuzz_target(fuzz_driver_${target} ${CMAKE_CURRENT_SOURCE_DIR}/driver-${target}.cc
                  ${CMAKE_CURRENT_SOURCE_DIR}/driver-harness.cc ${CMAKE_CURRENT_SOURCE_DIR}/scratch.cc
                  ${CMAKE_CURRENT_SOURCE_DIR}/driver-leaks.cc
                  ${PROJECT_SOURCE_DIR}/tests/common/driver-in-process.cc
                  ${PROJECT_SOURCE_DIR}/driver/lang/c-driver.cc DEPENDS vuz_driver)
endforeach()

# Multilib selection over arbitrary multilib texts, and install-path
# translation over arbitrary paths and key values.
vuz_fuzz_target(fuzz_multilib_texts ${CMAKE_CURRENT_SOURCE_DIR}/multilib-texts.cc
                ${CMAKE_CURRENT_SOURCE_DIR}/driver-leaks.cc
                ${PROJECT_SOURCE_DIR}/driver/lang/c-driver.cc DEPENDS vuz_driver)
vuz_fuzz_target(fuzz_install_paths ${CMAKE_CURRENT_SOURCE_DIR}/install-paths.cc
                ${PROJECT_SOURCE_DIR}/driver/lang/c-driver.cc DEPENDS vuz_driver)

# The whole-run target starts from the option corpus: command lines of every
# option the table knows.
add_dependencies(fuzz_driver_run fuzz_options_corpus)
