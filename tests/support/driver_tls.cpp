// Linked into the test programs that bind the real driver library
// (qmx_add_gtest(... LOADS_DRIVER)): the library keeps thread-local data, and
// the leak checker of this tool chain fails (signal 11 in its tracer) when it
// reads the dynamic thread-local blocks of a loaded library at exit, so its
// scan of thread-local storage is left out. Only there: without that scan the
// per-thread buffers of the libraries below count as leaks, each matched
// against the suppressions by a symbolizer run at every program's exit.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }

// Without that scan, Qt's data of a thread still alive at exit (held only
// by that thread's thread-local pointer) is seen as leaked; the allocation's
// stack ends in QtCore, which has no frame pointers, so only the library
// names it. In these programs a leak whose recorded stack passes through
// QtCore is therefore not reported; the programs that do not bind the driver
// still check those. The C library's dlerror text of a failed load is such
// per-thread state too.
extern "C" const char* qmx_extra_leak_suppressions() { return "leak:libQt6Core.so.6\nleak:_dlerror_run\n"; }
