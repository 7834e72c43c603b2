#include "foundation/fault_guard.h"

#include <kivo/platform.h>

namespace kivo {
namespace detail {

namespace {

// The C++ layer: any exception ends the work and is reported as contained.
void runCatching(void (*work)(void*), void* context, bool* completed) {
  try {
    work(context);
    *completed = true;
  } catch (...) {
    *completed = false;
  }
}

}  // namespace

#if defined(_MSC_VER)

// The structured layer: faults that are no C++ exception. This function
// holds no object with a destructor, as __try requires.
bool runContained(void (*work)(void* context), void* context) {
  bool completed = false;
  __try {
    runCatching(work, context, &completed);
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    completed = false;
  }
  return completed;
}

#else

// Other compilers offer no portable way to resume after a hardware fault;
// C++ exceptions are still contained.
bool runContained(void (*work)(void* context), void* context) {
  bool completed = false;
  runCatching(work, context, &completed);
  return completed;
}

#endif

}  // namespace detail
}  // namespace kivo
