#include "base/debug/alias.h"

namespace base {
namespace debug {

// noinline and the empty asm keep the call and its argument from being
// optimised away even with whole-program optimisation.
__attribute__((noinline)) void Alias(const void* var) {
  asm volatile("" : : "r"(var) : "memory");
}

}  // namespace debug
}  // namespace base
