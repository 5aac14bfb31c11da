// The state, the stack walk, single-pc lookups and the first-use
// initialisation that finds the running program's own executable.
#include "libmerrow/internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <unwind.h>

bt_state *bt_state_new(const char *filename, int threaded, bt_error_callback error_callback,
                       void *data)
{
  bt_state init;
  memset(&init, 0, sizeof init);
  init.filename = filename;
  init.threaded = threaded;
  // The rest of the first page lands on the temporary's free list and comes
  // along into the real state.
  bt_state *state =
      static_cast<bt_state *>(bt_alloc(&init, sizeof init, error_callback, data));
  if (!state)
    return nullptr;
  *state = init;
  return state;
}

struct bt_walk_record {
  int skip;
  bt_state *state;
  bt_frame_callback callback;
  bt_error_callback error_callback;
  void *data;
  int ret;
  int can_alloc;
};

static _Unwind_Reason_Code bt_unwind_frame(_Unwind_Context *context, void *vdata)
{
  bt_walk_record *record = static_cast<bt_walk_record *>(vdata);
  int ip_before_insn = 0;
  uintptr_t pc = _Unwind_GetIPInfo(context, &ip_before_insn);
  if (record->skip > 0) {
    --record->skip;
    return _URC_NO_REASON;
  }
  // A return address points after the call; step back onto the calling line.
  if (!ip_before_insn)
    --pc;
  if (record->can_alloc)
    record->ret = bt_resolve_pc(record->state, pc, record->callback, record->error_callback,
                                record->data);
  else
    record->ret = record->callback(record->data, pc, nullptr, 0, nullptr);
  return record->ret != 0 ? _URC_END_OF_STACK : _URC_NO_REASON;
}

__attribute__((noinline)) int bt_walk_stack(bt_state *state, int skip,
                                            bt_frame_callback callback,
                                            bt_error_callback error_callback, void *data)
{
  bt_walk_record record;
  record.skip = skip + 1;
  record.state = state;
  record.callback = callback;
  record.error_callback = error_callback;
  record.data = data;
  record.ret = 0;
  void *probe = bt_alloc(state, 4096, nullptr, nullptr);
  record.can_alloc = probe != nullptr;
  if (probe)
    bt_free(state, probe, 4096, nullptr, nullptr);
  _Unwind_Backtrace(bt_unwind_frame, &record);
  return record.ret;
}

static char *bt_sysctl_exe_path(bt_state *state, int n1, int n2, int n3,
                                bt_error_callback error_callback, void *data)
{
  int name[4] = {1, n1, n2, n3};
  size_t length = 0;
  if (bt_host_sysctl(name, 4, nullptr, &length) < 0)
    return nullptr;
  char *buffer = static_cast<char *>(bt_alloc(state, length, error_callback, data));
  if (!buffer)
    return nullptr;
  if (bt_host_sysctl(name, 4, buffer, &length) < 0) {
    bt_free(state, buffer, length, error_callback, data);
    return nullptr;
  }
  return buffer;
}

static int bt_lazy_init(bt_state *state, bt_error_callback error_callback, void *data)
{
  if (bt_load(state, &state->fileline_initialization_failed)) {
    error_callback(data, "failed to read executable information", -1);
    return 0;
  }
  if (bt_load(state, &state->fileline_fn))
    return 1;

  const char *filename = nullptr;
  int descriptor = -1;
  int called_error_callback = 0;
  char buffer[64];
  for (int pass = 0; pass < 6; ++pass) {
    switch (pass) {
    case 0:
      filename = state->filename;
      break;
    case 1:
      filename = "/proc/self/exe";
      break;
    case 2:
      filename = "/proc/curproc/file";
      break;
    case 3:
      snprintf(buffer, sizeof buffer, "/proc/%ld/object/a.out", static_cast<long>(getpid()));
      filename = buffer;
      break;
    case 4:
      filename = bt_sysctl_exe_path(state, 7, -1, 12, error_callback, data);
      break;
    case 5:
      filename = bt_sysctl_exe_path(state, 14, 12, -1, error_callback, data);
      break;
    }
    if (!filename)
      continue;
    int does_not_exist = 0;
    descriptor = bt_open_file(filename, error_callback, data, &does_not_exist);
    if (descriptor < 0 && !does_not_exist) {
      called_error_callback = 1;
      break;
    }
    if (descriptor >= 0)
      break;
  }
  if (descriptor < 0) {
    if (!called_error_callback) {
      if (state->filename)
        error_callback(data, state->filename, ENOENT);
      else
        error_callback(data, "libmerrow could not find executable to open", 0);
    }
    bt_store(state, &state->fileline_initialization_failed, 1);
    return 0;
  }
  bt_fileline_fn fileline_fn = nullptr;
  if (!bt_elf_init(state, filename, descriptor, error_callback, data, &fileline_fn)) {
    bt_store(state, &state->fileline_initialization_failed, 1);
    return 0;
  }
  bt_store(state, &state->fileline_fn, fileline_fn);
  return 1;
}

int bt_resolve_pc(bt_state *state, uintptr_t pc, bt_frame_callback callback,
                  bt_error_callback error_callback, void *data)
{
  if (!bt_lazy_init(state, error_callback, data))
    return 0;
  if (bt_load(state, &state->fileline_initialization_failed))
    return 0;
  return bt_load(state, &state->fileline_fn)(state, pc, callback, error_callback, data);
}

int bt_resolve_symbol(bt_state *state, uintptr_t pc, bt_syminfo_callback callback,
                      bt_error_callback error_callback, void *data)
{
  if (!bt_lazy_init(state, error_callback, data))
    return 0;
  if (bt_load(state, &state->fileline_initialization_failed))
    return 0;
  bt_load(state, &state->syminfo_fn)(state, pc, callback, error_callback, data);
  return 1;
}

void bt_syminfo_to_frame(void *adapter, uintptr_t pc, const char *symname, uintptr_t,
                         uintptr_t)
{
  bt_syminfo_adapter *a = static_cast<bt_syminfo_adapter *>(adapter);
  a->result = a->callback(a->data, pc, nullptr, 0, symname);
}

void bt_syminfo_error_forward(void *adapter, const char *message, int errnum)
{
  bt_syminfo_adapter *a = static_cast<bt_syminfo_adapter *>(adapter);
  a->error_callback(a->data, message, errnum);
}
