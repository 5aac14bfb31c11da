// The program's one diagnostic context, alone in its file: the source-file
// cache reaches it, and code that links the cache (the line-map library's
// tests among it) need not link the whole engine.
#include "diagnostics/diagnostic.h"

diagnostic_state global_diagnostic_state;
