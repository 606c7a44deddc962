#include "desktop/windows/installer/service/task_service_warm_up_win.h"

#include <objbase.h>
#include <windows.h>

#include <utility>

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace {

struct WarmUpContext {
  TaskServiceWarmUp::Factory factory;
  base::win::ScopedHandle done;
  HMODULE module;
};

DWORD WINAPI WarmUp(void* parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<WarmUpContext> context(
        static_cast<WarmUpContext*>(parameter));
    module = context->module;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
      std::unique_ptr<TaskScheduler> scheduler = context->factory();
      const bool connected = scheduler && scheduler->Init();
      VLOG(1) << "Task scheduler warm-up: "
              << (connected ? "connected" : "could not connect");
    }
    if (SUCCEEDED(com)) CoUninitialize();
    SetEvent(context->done.Get());
  }
  // Nothing of this module runs after the reference goes.
  FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

TaskServiceWarmUp::TaskServiceWarmUp(Factory factory) {
  base::win::ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE worker_done = nullptr;
  HMODULE module = nullptr;
  if (!done.IsValid() ||
      !DuplicateHandle(GetCurrentProcess(), done.Get(), GetCurrentProcess(),
                       &worker_done, 0, FALSE, DUPLICATE_SAME_ACCESS) ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&WarmUp), &module)) {
    if (worker_done) CloseHandle(worker_done);
    PLOG(WARNING) << "Could not prepare the task scheduler warm-up";
    return;
  }
  auto context = std::make_unique<WarmUpContext>();
  context->factory = factory;
  context->done.Set(worker_done);
  context->module = module;
  HANDLE thread = CreateThread(nullptr, 0, &WarmUp, context.get(), 0, nullptr);
  if (!thread) {
    PLOG(WARNING) << "Could not start the task scheduler warm-up";
    FreeLibrary(module);
    return;
  }
  context.release();
  CloseHandle(thread);
  done_ = std::make_unique<base::WaitableEvent>(std::move(done));
}

TaskServiceWarmUp::~TaskServiceWarmUp() = default;

bool TaskServiceWarmUp::Wait(base::TimeDelta timeout) {
  return !done_ || done_->TimedWait(timeout);
}

}  // namespace installer
