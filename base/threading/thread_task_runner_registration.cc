#include "base/threading/thread_task_runner_registration.h"

#include <utility>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/thread_local.h"

namespace base {

namespace {

// Leaky: other threads may still run while static destructors do.
LeakyLazyInstance<ThreadLocalPointer<ThreadTaskRunnerRegistration>>
    g_registration;

}  // namespace

ThreadTaskRunnerRegistration::ThreadTaskRunnerRegistration(
    ScopedRefPtr<SequencedTaskRunner> task_runner)
    : task_runner_(std::move(task_runner)) {
  CHECK(task_runner_);
  CHECK(!g_registration.Get().Get());
  g_registration.Get().Set(this);
}

ThreadTaskRunnerRegistration::~ThreadTaskRunnerRegistration() {
  CHECK(g_registration.Get().Get() == this);
  g_registration.Get().Set(nullptr);
}

// static
ScopedRefPtr<SequencedTaskRunner> ThreadTaskRunnerRegistration::Get() {
  ThreadTaskRunnerRegistration* registration = g_registration.Get().Get();
  return registration ? registration->task_runner_ : nullptr;
}

// static
bool ThreadTaskRunnerRegistration::IsSet() {
  return g_registration.Get().Get() != nullptr;
}

}  // namespace base
