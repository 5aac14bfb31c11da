add_executable(startup_floor ${CMAKE_CURRENT_SOURCE_DIR}/floor.cc)
