// Scratch files and directories of the fuzz targets, in the temporary
// directory and named PREFIX + process id + SUFFIX, so that what a run ended
// by a signal or a crash left behind is known by its owner's id and removed
// by the next run of the same target.
#ifndef VUZ_FUZZ_SCRATCH_H
#define VUZ_FUZZ_SCRATCH_H

#include <string>

// The name of this process's scratch copy in DIRECTORY (ending in '/'), after
// removing the copies there whose process is gone or that carry this
// process's id already (an earlier process's); call it once per process.
// Names of the same prefix and suffix but no process id are left alone.
std::string fuzz_scratch_name_in(const char *directory, const char *prefix, const char *suffix);

// fuzz_scratch_name_in for the temporary directory the programs use.
std::string fuzz_scratch_name(const char *prefix, const char *suffix = "");

// Removes PATH: a file, or a directory with everything in it.
void fuzz_remove_tree(const std::string &path);

#endif
