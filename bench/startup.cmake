add_executable(startup_floor ${CMAKE_CURRENT_SOURCE_DIR}/floor.cc)
# Built and linked exactly as the drivers are.
vuz_program_link_options(startup_floor)
# The stand-in for the compiler and assembler in a timed real run.
add_executable(bench_recorder ${PROJECT_SOURCE_DIR}/tests/e2e/recorder.cc)
vuz_program_link_options(bench_recorder)
# Makes the system calls of a traced run and nothing else
# (bench/startup-calls.py).
add_executable(startup_calls ${CMAKE_CURRENT_SOURCE_DIR}/calls-replay.cc)
vuz_program_link_options(startup_calls)
