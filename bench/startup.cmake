add_executable(startup_floor ${CMAKE_CURRENT_SOURCE_DIR}/floor.cc)
# Built and linked exactly as the drivers are.
vuz_program_link_options(startup_floor)
