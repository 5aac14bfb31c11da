# Argument vectors through option decoding, pruning and suggestions.
vuz_fuzz_target(fuzz_options_decode ${CMAKE_CURRENT_SOURCE_DIR}/options-decode.cc
 DEPENDS vuz_options)
# Seeds: every option text of the data file, alone and with an argument.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/options-corpus/.done
  COMMAND ${VUZ_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/options-seeds.py
          ${PROJECT_SOURCE_DIR}/options/data/options.txt ${CMAKE_CURRENT_BINARY_DIR}/options-corpus
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/options-seeds.py ${PROJECT_SOURCE_DIR}/options/data/options.txt)
add_custom_target(fuzz_options_corpus ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/options-corpus/.done)
