// ScopedComInitializer: COM initialised as a single-threaded apartment on
// the calling thread while the object lives; CoUninitialize balances only a
// successful initialisation (a thread already in another apartment keeps
// it). Use on one thread.

#ifndef BASE_WIN_SCOPED_COM_INITIALIZER_H_
#define BASE_WIN_SCOPED_COM_INITIALIZER_H_

#include <windows.h>
// After windows.h.
#include <objbase.h>

namespace base {
namespace win {

class ScopedComInitializer {
 public:
  ScopedComInitializer()
      : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
  ~ScopedComInitializer() {
    if (Succeeded()) CoUninitialize();
  }

  bool Succeeded() const { return SUCCEEDED(result_); }

 private:
  const HRESULT result_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_COM_INITIALIZER_H_
