# ARM option values (architecture, processor and FPU names with "+" features)
# through the canonicaliser and the ARM spec functions.
vuz_fuzz_target(fuzz_arm_options ${CMAKE_CURRENT_SOURCE_DIR}/arm-options.cc DEPENDS vuz_options)
