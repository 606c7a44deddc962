// Keeps a value in memory so that it shows up in a crash dump.

#ifndef BASE_DEBUG_ALIAS_H_
#define BASE_DEBUG_ALIAS_H_

namespace base {
namespace debug {

// Does nothing, out of line: the compiler must assume the pointed-to value is
// read, so a local variable passed here stays on the stack.
void Alias(const void* var);

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_ALIAS_H_
