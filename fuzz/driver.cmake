# The spec interpreter over arbitrary spec text, and the spec-file reader over
# arbitrary files, both with a fixed switch table.
vuz_fuzz_target(fuzz_driver_specs ${CMAKE_CURRENT_SOURCE_DIR}/driver-specs.cc
                ${PROJECT_SOURCE_DIR}/driver/lang/c-driver.cc DEPENDS vuz_driver)
