// Response files: splitting and the quoted round trip of arbitrary text, and
// the expansion of files that name each other and themselves. The input is
// up to four file texts separated by NUL bytes, written as files "0" to "3"
// in a scratch directory; the command line names "@0". A run that ends the
// process (too many @-files, a directory) ends here instead.
#include "fuzz/input-parts.h"
#include "fuzz/scratch.h"
#include "support/alloc.h"
#include "support/argv.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static jmp_buf expansion_ended;

static void end_expansion(int)
{
  longjmp(expansion_ended, 1);
}

static void check(bool ok)
{
  if (!ok)
    abort();
}

// Writing a vector back and splitting it again gives the same vector.
static void check_round_trip(const std::string &text)
{
  char **words = argv_split(text.c_str());
  char *buffer = nullptr;
  size_t length = 0;
  FILE *stream = open_memstream(&buffer, &length);
  check(argv_write_quoted(words, stream) == 0);
  fclose(stream);
  char **again = argv_split(buffer);
  int n = argv_count(words);
  // An empty text splits into one empty word, written as "" and read back.
  check(argv_count(again) == n);
  for (int i = 0; i < n; i++)
    check(strcmp(words[i], again[i]) == 0);
  argv_free(words);
  argv_free(again);
  free(buffer);
}

// The files of one input are written here; it is made for the input and
// removed after it.
static const std::string &scratch_directory()
{
  static const std::string path = fuzz_scratch_name("vuz-response-files-fuzz-");
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  int caller_directory = open(".", O_RDONLY | O_DIRECTORY);
  check(caller_directory >= 0 && mkdir(scratch_directory().c_str(), 0700) == 0 &&
        chdir(scratch_directory().c_str()) == 0);
  std::vector<std::string> texts = input_parts(data, size, 4);
  texts.resize(4);
  for (int i = 0; i < 4; i++) {
    check_round_trip(texts[i]);
    FILE *f = fopen(std::to_string(i).c_str(), "w");
    check(f != nullptr);
    fwrite(texts[i].data(), 1, texts[i].size(), f);
    fclose(f);
  }

  char program[] = "vuz", first[] = "@0", last[] = "end";
  char *caller[] = {program, first, last, nullptr};
  int count = 3;
  char **argv = caller;
  exit_program_hook = end_expansion;
  if (setjmp(expansion_ended) == 0) {
    expand_response_files(&count, &argv);
    check(argv != caller && argv_count(argv) == count);
    check(strcmp(argv[0], "vuz") == 0 && strcmp(argv[count - 1], "end") == 0);
    argv_free(argv);
  }
  exit_program_hook = nullptr;
  check(fchdir(caller_directory) == 0);
  close(caller_directory);
  fuzz_remove_tree(scratch_directory());
  return 0;
}
