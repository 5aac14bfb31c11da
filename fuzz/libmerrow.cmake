# The stack-trace library over untrusted images: ELF module reading and DWARF
# unit reading with lookups. Seeds: fuzz/libmerrow-seeds.py. Modules read are
# never freed, so long runs go in fork mode (-fork=N), whose jobs start afresh.
vuz_fuzz_target(libmerrow_elf_fuzz ${CMAKE_CURRENT_LIST_DIR}/libmerrow-elf-fuzz.cc DEPENDS vuz_merrow)
vuz_fuzz_target(libmerrow_dwarf_fuzz ${CMAKE_CURRENT_LIST_DIR}/libmerrow-dwarf-fuzz.cc DEPENDS vuz_merrow)
# The two decoders of compressed debug data, differential against python3's
# zlib and lzma on a seed corpus (fuzz/libmerrow-codec-seeds.py, then
# fuzz/libmerrow-codec-diff.py over the grown corpus). The xz target's
# buffers come from the library's allocator, whose short free list lets go of
# small blocks: long runs go in fork mode too.
vuz_fuzz_target(libmerrow_inflate_fuzz ${CMAKE_CURRENT_LIST_DIR}/libmerrow-inflate-fuzz.cc DEPENDS vuz_merrow)
vuz_fuzz_target(libmerrow_xz_fuzz ${CMAKE_CURRENT_LIST_DIR}/libmerrow-xz-fuzz.cc DEPENDS vuz_merrow)
