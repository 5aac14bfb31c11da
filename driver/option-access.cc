// The option values the driver reads, each in one place.
#include "driver/driver-options.h"

bool driver_verbose()
{
  return global_options.var_v != 0;
}

void driver_set_verbose(int value)
{
  global_options.var_v = value;
}

const char *driver_wrapper()
{
  return global_options.var_wrapper;
}

bool driver_time()
{
  return global_options.var_time != 0;
}

bool driver_report_bug()
{
  return global_options.var_freport_bug != 0;
}

bool driver_pass_exit_codes()
{
  return global_options.var_pass_exit_codes != 0;
}

bool driver_no_sysroot_suffix()
{
  return global_options.var__no_sysroot_suffix != 0;
}

bool driver_wpa_given()
{
  return global_options.var_fwpa_eq != nullptr;
}

void driver_set_wpa(const char *text)
{
  global_options.var_fwpa_eq = text;
}

bool driver_gtoggle_given()
{
  return global_options.var_gtoggle != 0;
}

void driver_toggle_debug_level()
{
  global_options.debug_info_level = global_options.debug_info_level == 0 ? 2 : 0;
}

int driver_debug_info_level()
{
  return global_options.debug_info_level;
}

int driver_dwarf_version()
{
  return global_options.var_gdwarf_;
}

uint64_t driver_flag_sanitize()
{
  return static_cast<uint32_t>(global_options.flag_sanitize);
}

bool driver_sanitize_undefined_trap_on_error()
{
  return global_options.var_fsanitize_undefined_trap_on_error != 0;
}

bool driver_print_search_dirs()
{
  return global_options.var_print_search_dirs != 0;
}

const char *driver_print_file_name()
{
  return global_options.var_print_file_name_eq;
}

void driver_set_print_file_name(const char *name)
{
  global_options.var_print_file_name_eq = name;
}

const char *driver_print_prog_name()
{
  return global_options.var_print_prog_name_eq;
}

bool driver_print_multi_lib()
{
  return global_options.var_print_multi_lib != 0;
}

bool driver_print_multi_directory()
{
  return global_options.var_print_multi_directory != 0;
}

bool driver_print_multiarch()
{
  return global_options.var_print_multiarch != 0;
}

bool driver_print_sysroot()
{
  return global_options.var_print_sysroot != 0;
}

bool driver_print_multi_os_directory()
{
  return global_options.var_print_multi_os_directory != 0;
}

bool driver_print_sysroot_headers_suffix()
{
  return global_options.var_print_sysroot_headers_suffix != 0;
}
