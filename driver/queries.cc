// The queries the driver answers itself: the "-print-" options, "--help",
// "--version" and the "-v" configuration report.
#include "driver/specs.h"

#include "diagnostics/diagnostic.h"
#include "driver/driver-options.h"
#include "driver/search-paths.h"
#include "support/alloc.h"
#include "support/concat.h"

#include <cstring>
#include <unistd.h>

// The report's lines before the version line.
#define CONFIGURATION_LINES                                                       \
  "Target: " DRIVER_TARGET "\nConfigured with: " VUZ_CONFIGURE_LINE              \
  "\nThread model: posix\nSupported LTO compression algorithms: zlib\n"

void report_configuration(FILE *stream)
{
  // One write: standard error is unbuffered. The usual report is known when
  // the driver is built.
  if (strcmp(command.version_text, DRIVER_VERSION) == 0) {
    fputs(CONFIGURATION_LINES "vuz version " DRIVER_VERSION " " DRIVER_PKGVERSION "\n", stream);
    return;
  }
  char *text =
      format_alloc(CONFIGURATION_LINES "vuz driver version %s %sexecuting vuz version %s\n",
                   DRIVER_VERSION, DRIVER_PKGVERSION, command.version_text);
  fputs(text, stream);
  free(text);
}

static const char *const usage_lines[] = {
    "Options:",
    "  -pass-exit-codes         Exit with highest error code from a phase.",
    "  --help                   Display this information.",
    "  --target-help            Display target specific command line options (including assembler and linker options).",
    "  --help={common|optimizers|params|target|warnings|[^]{joined|separate|undocumented}}[,...].",
    "                           Display specific types of command line options.",
    nullptr,  // the "-v --help" hint, printed without "-v" only
    "  --version                Display compiler version information.",
    "  -dumpspecs               Display all of the built in spec strings.",
    "  -dumpversion             Display the version of the compiler.",
    "  -dumpmachine             Display the compiler's target processor.",
    "  -foffload=<targets>      Specify offloading targets.",
    "  -print-search-dirs       Display the directories in the compiler's search path.",
    "  -print-libvuz-file-name  Display the name of the compiler's companion library.",
    "  -print-file-name=<lib>   Display the full path to library <lib>.",
    "  -print-prog-name=<prog>  Display the full path to compiler component <prog>.",
    "  -print-multiarch         Display the target's normalized KAV triplet, used as",
    "                           a component in the library path.",
    "  -print-multi-directory   Display the root directory for versions of libvuz.",
    "  -print-multi-lib         Display the mapping between command line options and",
    "                           multiple library search directories.",
    "  -print-multi-os-directory Display the relative path to OS libraries.",
    "  -print-sysroot           Display the target libraries directory.",
    "  -print-sysroot-headers-suffix Display the sysroot suffix used to find headers.",
    "  -Wa,<options>            Pass comma-separated <options> on to the assembler.",
    "  -Wp,<options>            Pass comma-separated <options> on to the preprocessor.",
    "  -Wl,<options>            Pass comma-separated <options> on to the linker.",
    "  -Xassembler <arg>        Pass <arg> on to the assembler.",
    "  -Xpreprocessor <arg>     Pass <arg> on to the preprocessor.",
    "  -Xlinker <arg>           Pass <arg> on to the linker.",
    "  -save-temps              Do not delete intermediate files.",
    "  -save-temps=<arg>        Do not delete intermediate files.",
    "  -no-canonical-prefixes   Do not canonicalize paths when building relative",
    "                           prefixes to other vuz components.",
    "  -pipe                    Use pipes rather than intermediate files.",
    "  -time                    Time the execution of each subprocess.",
    "  -specs=<file>            Override built-in specs with the contents of <file>.",
    "  -std=<standard>          Assume that the input sources are for <standard>.",
    "  --sysroot=<directory>    Use <directory> as the root directory for headers",
    "                           and libraries.",
    "  -B <directory>           Add <directory> to the compiler's search paths.",
    "  -v                       Display the programs invoked by the compiler.",
    "  -###                     Like -v but options quoted and commands not executed.",
    "  -E                       Preprocess only; do not compile, assemble or link.",
    "  -S                       Compile only; do not assemble or link.",
    "  -c                       Compile and assemble, but do not link.",
    "  -o <file>                Place the output into <file>.",
    "  -pie                     Create a dynamically linked position independent",
    "                           executable.",
    "  -shared                  Create a shared library.",
    "  -x <language>            Specify the language of the following input files.",
    "                           Permissible languages include: c c++ assembler none",
    "                           'none' means revert to the default behavior of",
    "                           guessing the language based on the file's extension.",
};

void print_usage()
{
  printf("Usage: %s [options] file...\n", run_values.program_name);
  for (const char *line : usage_lines) {
    if (line)
      puts(line);
    else if (!driver_verbose())
      puts("  (Use '-v --help' to display command line options of sub-processes).");
  }
  printf("\nOptions starting with -g, -f, -m, -O, -W, or --param are automatically\n"
         " passed on to the various sub-processes invoked by %s.  In order to pass\n"
         " other options on to these processes the -W<letter> options must be used.\n",
         run_values.program_name);
}

static void print_version_banner()
{
  printf("%s %s%s\n", run_values.program_name, DRIVER_PKGVERSION, DRIVER_VERSION);
  printf("Copyright (C) 2026 The vuz developers.\n");
  printf("This program is free software; you may share and change it under the terms of its\n"
         "licence. It comes with no warranty of any kind, not even of fitness for a purpose.\n");
}

static void print_prog_name(const char *name)
{
  char *owned = nullptr;
  if (strcmp(name, "ld") == 0 && driver_settings.linker_suffix) {
    char *configured = concat_strings(DRIVER_LINKER, driver_settings.linker_suffix, nullptr);
    if (access(configured, X_OK) == 0) {
      puts(configured);
      free(configured);
      return;
    }
    free(configured);
    name = owned = concat_strings("ld", driver_settings.linker_suffix, nullptr);
  }
  char *found = find_program(name);
  puts(found ? found : name);
  free(found);
  free(owned);
}

run_step answer_print_queries()
{
  if (driver_print_search_dirs()) {
    if (command.exec_prefix_root)
      printf("install: %s%s\n", command.exec_prefix_root, "");
    else
      printf("install: %s%s\n", DRIVER_LIB_DIR, DRIVER_MACHINE_SUFFIX);
    printf("programs: %s\n", join_search_dirs(&exec_prefixes, "", false, false));
    printf("libraries: %s\n", join_search_dirs(&startfile_prefixes, "", false, true));
    return STEP_STOP;
  }
  if (const char *name = driver_print_file_name()) {
    char *found = locate_file(&startfile_prefixes, name, R_OK, true);
    puts(found ? found : name);
    free(found);
    return STEP_STOP;
  }
  if (const char *name = driver_print_prog_name()) {
    print_prog_name(name);
    return STEP_STOP;
  }
  if (driver_print_multi_lib()) {
    print_multilib_table();
    return STEP_STOP;
  }
  if (driver_print_multi_directory()) {
    puts(multilib_choice.multi_dir ? multilib_choice.multi_dir : ".");
    return STEP_STOP;
  }
  if (driver_print_multiarch()) {
    puts(multilib_choice.multi_arch_dir ? multilib_choice.multi_arch_dir : "");
    return STEP_STOP;
  }
  if (driver_print_sysroot()) {
    if (driver_settings.sysroot) {
      fputs(driver_settings.sysroot, stdout);
      if (driver_settings.sysroot_suffix)
        fputs(driver_settings.sysroot_suffix, stdout);
      putchar('\n');
    }
    return STEP_STOP;
  }
  if (driver_print_multi_os_directory()) {
    puts(multilib_choice.multi_os_dir ? multilib_choice.multi_os_dir : ".");
    return STEP_STOP;
  }
  if (driver_print_sysroot_headers_suffix()) {
    if (!*spec_tables.sysroot_hdrs_suffix_spec)
      fatal_error(0, "not configured with sysroot headers suffix");
    puts(driver_settings.sysroot_headers_suffix ? driver_settings.sysroot_headers_suffix : "");
    return STEP_STOP;
  }
  if (driver_settings.help_requested) {
    print_usage();
    if (!driver_verbose()) {
      printf("\nFor bug reporting instructions, please see:\n");
      printf("%s.\n", "<" DRIVER_BUG_URL ">");
      return STEP_STOP;
    }
    putchar('\n');
    fflush(stdout);
  }
  if (driver_settings.version_requested) {
    print_version_banner();
    if (!driver_verbose())
      return STEP_STOP;
    putchar('\n');
    fflush(stdout);
  }
  if (driver_verbose()) {
    report_configuration(stderr);
    if (input_files.input_count == 0)
      return STEP_STOP;
  }
  return STEP_CONTINUE;
}
