// The fault guard on Windows: structured exception handling catches any
// exception the probe raises and resumes after it.
#include "dispatch/fault_guard.h"

#if defined(_MSC_VER)
#include <windows.h>

namespace tarn {

bool completes_without_fault(ProbeFn probe, void* context) {
  __try {
    probe(context);
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    return false;
  }
  return true;
}

}  // namespace tarn
#else
namespace tarn {

// Compilers without __try cannot resume after a fault here: every probe counts
// as failed, so no capability is claimed that was not proven.
bool completes_without_fault(ProbeFn, void*) {
  return false;
}

}  // namespace tarn
#endif
