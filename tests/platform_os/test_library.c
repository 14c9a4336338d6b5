/* A tiny library loaded by the module tests through its "dll" name. */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t qmx_test_answer(void) { return 42; }

__attribute__((visibility("default"))) int32_t qmx_test_add(int32_t a, int32_t b) { return a + b; }
