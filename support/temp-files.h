// The directory for temporary files, chosen once per process, and empty
// temporary files with unique names created in it.
#ifndef VUZ_SUPPORT_TEMP_FILES_H
#define VUZ_SUPPORT_TEMP_FILES_H

// The cached directory, ending in '/'; never freed.
const char *temp_dir_choose();

// A new empty file (mode 0600) named directory + prefix ("cc" when null) +
// six unique characters + suffix; the caller owns the name. When the file
// cannot be made, reports it and ends the process with status 1.
char *temp_file_make_prefixed(const char *prefix, const char *suffix);
char *temp_file_make(const char *suffix);

#endif
