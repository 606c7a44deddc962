// Windows-only parts of PlatformThread that tests reach.

#ifndef BASE_THREADING_PLATFORM_THREAD_WIN_H_
#define BASE_THREADING_PLATFORM_THREAD_WIN_H_

namespace base {
namespace internal {

// True when the module image at |module_base| has both a ".thunks" and a
// ".syzygy" section: an instrumented build, which is given thread names
// even without a debugger.
bool ModuleHasInstrumentationSections(const void* module_base);

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_WIN_H_
