#include "base/trace_event/trace_event_etw_export.h"

#include <stdint.h>

#include "base/at_exit.h"
#include "base/strings/string_tokenizer.h"
#include "base/threading/platform_thread.h"
#include "base/trace_event/trace_event_record.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kOtherEvents[] = "__OTHER_EVENTS";
constexpr char kDisabledOtherEvents[] = "__DISABLED_OTHER_EVENTS";
constexpr char kDisabledByDefaultPrefix[] = "disabled-by-default";
constexpr char kCompleteEnd[] = "Complete End";
constexpr char kNullText[] = "NULL";

constexpr const char* kMappedCategories[] = {
    "benchmark",
    "layout",
    "browser",
    "compositor",
    "evdev",
    "gpu",
    "input",
    "netlog",
    "renderer.scheduler",
    "toplevel",
    "script",
    "disabled-by-default-compositor.debug",
    "disabled-by-default-compositor.debug.picture",
    "disabled-by-default-toplevel.flow",
    "startup",
    kOtherEvents,
    kDisabledOtherEvents,
};

struct PhaseText {
  char phase;
  const char* text;
};
constexpr PhaseText kPhaseTexts[] = {
    {'B', "Begin"},
    {'E', "End"},
    {'X', "Complete"},
    {'I', "Instant"},
    {'S', "Async Begin"},
    {'T', "Async Step Into"},
    {'p', "Async Step Past"},
    {'F', "Async End"},
    {'b', "Nestable Async Begin"},
    {'e', "Nestable Async End"},
    {'n', "Nestable Async Instant"},
    {'s', "Phase Flow Begin"},
    {'t', "Phase Flow Step"},
    {'f', "Phase Flow End"},
    {'M', "Phase Metadata"},
    {'C', "Phase Counter"},
    {'P', "Phase Sample"},
    {'N', "Phase Create Object"},
    {'O', "Phase Snapshot Object"},
    {'D', "Phase Delete Object"},
};

// 0: none yet; 1: being created; 2: torn down at exit; else the exporter.
constexpr uintptr_t kNoExporter = 0;
constexpr uintptr_t kCreating = 1;
constexpr uintptr_t kTornDown = 2;
std::atomic<uintptr_t> g_exporter{kNoExporter};

// Exporters torn down at exit stay allocated (and reachable from here).
std::atomic<TraceEventETWExport*> g_retired_exporter{nullptr};

std::atomic<bool> g_has_test_functions{false};
EtwFunctions g_test_functions;

std::string TextOrNull(const char* text) { return text ? text : kNullText; }

}  // namespace

const EtwGuid TraceEventETWExport::kProviderGuid = {
    0xD2D578D9,
    0x2936,
    0x45B6,
    {0xA0, 0x9F, 0x30, 0xE3, 0x27, 0x15, 0xF4, 0x2D}};

const EtwEventDescriptor TraceEventETWExport::kEventDescriptor = {
    1, 0, 8, 4, 0, 0, 0x8000000000000000ull};

// static
TraceEventETWExport* TraceEventETWExport::GetInstance() {
  uintptr_t value = g_exporter.load(std::memory_order_acquire);
  while (true) {
    if (value == kTornDown) return nullptr;
    if (value > kTornDown) return reinterpret_cast<TraceEventETWExport*>(value);
    if (value == kNoExporter &&
        g_exporter.compare_exchange_strong(value, kCreating,
                                           std::memory_order_acq_rel)) {
      break;
    }
    if (value == kCreating) {
      PlatformThread::Sleep(TimeDelta());
      value = g_exporter.load(std::memory_order_acquire);
    }
  }
  EtwFunctions functions = g_has_test_functions.load(std::memory_order_acquire)
                               ? g_test_functions
                               : GetPlatformEtwFunctions();
  auto* exporter = new TraceEventETWExport(functions);
  g_exporter.store(reinterpret_cast<uintptr_t>(exporter),
                   std::memory_order_release);
  AtExitManager::RegisterCallback(&TraceEventETWExport::TearDownAtExit,
                                  nullptr);
  return exporter;
}

// static
void TraceEventETWExport::SetFunctionsForTesting(
    const EtwFunctions& functions) {
  g_test_functions = functions;
  g_has_test_functions.store(true, std::memory_order_release);
}

// static
void TraceEventETWExport::ResetForTesting() {
  uintptr_t value = g_exporter.exchange(kNoExporter, std::memory_order_acq_rel);
  if (value > kTornDown) {
    g_retired_exporter.store(reinterpret_cast<TraceEventETWExport*>(value),
                             std::memory_order_release);
  }
}

TraceEventETWExport::TraceEventETWExport(const EtwFunctions& functions)
    : functions_(functions) {
  for (const char* category : kMappedCategories) categories_[category] = false;
  if (functions_.event_register) {
    uint64_t handle = 0;
    if (functions_.event_register(&kProviderGuid,
                                  &TraceEventETWExport::OnEnableCallback, this,
                                  &handle) == 0) {
      handle_.store(handle, std::memory_order_release);
    }
  }
}

// static
void TraceEventETWExport::TearDownAtExit(void*) {
  uintptr_t value = g_exporter.exchange(kTornDown, std::memory_order_acq_rel);
  if (value <= kTornDown) return;
  auto* exporter = reinterpret_cast<TraceEventETWExport*>(value);
  g_retired_exporter.store(exporter, std::memory_order_release);
  exporter->export_enabled_.store(false, std::memory_order_release);
  uint64_t handle = exporter->handle_.exchange(0, std::memory_order_acq_rel);
  if (handle && exporter->functions_.event_unregister)
    exporter->functions_.event_unregister(handle);
  {
    AutoLock hold(exporter->lock_);
    exporter->categories_.clear();
  }
  // The object itself stays: another thread may be inside AddEvent.
}

// static
void TraceEventETWExport::OnEnableCallback(const EtwGuid* source_id,
                                           uint32_t control_code, uint8_t level,
                                           uint64_t match_any_keyword,
                                           uint64_t match_all_keyword,
                                           void* filter_data, void* context) {
  auto* exporter = static_cast<TraceEventETWExport*>(context);
  if (control_code == 0) {
    exporter->controller_enabled_.store(false, std::memory_order_relaxed);
    exporter->enable_level_.store(0, std::memory_order_relaxed);
    exporter->match_any_keyword_.store(0, std::memory_order_relaxed);
    exporter->match_all_keyword_.store(0, std::memory_order_relaxed);
    exporter->event_enabled_.store(false, std::memory_order_release);
    return;
  }
  if (control_code != 1) return;
  exporter->match_any_keyword_.store(match_any_keyword,
                                     std::memory_order_relaxed);
  exporter->enable_level_.store(level, std::memory_order_relaxed);
  exporter->match_all_keyword_.store(match_all_keyword,
                                     std::memory_order_relaxed);
  exporter->controller_enabled_.store(true, std::memory_order_relaxed);
  const EtwEventDescriptor& event = kEventDescriptor;
  bool level_ok = event.level <= level || level == 0;
  bool keyword_ok = event.keyword == 0 ||
                    ((event.keyword & match_any_keyword) != 0 &&
                     (event.keyword & match_all_keyword) == match_all_keyword);
  exporter->event_enabled_.store(level_ok && keyword_ok,
                                 std::memory_order_release);
}

// static
void TraceEventETWExport::EnableETWExport(
    const std::vector<std::string>& categories) {
  TraceEventETWExport* exporter = GetInstance();
  if (!exporter) return;
  {
    AutoLock hold(exporter->lock_);
    for (const std::string& category : categories)
      exporter->categories_[category] = true;
  }
  exporter->export_enabled_.store(true, std::memory_order_release);
  TraceLog::GetInstance()->UpdateETWCategoryGroupEnabledFlags();
}

// static
void TraceEventETWExport::DisableETWExport() {
  TraceEventETWExport* exporter = GetInstance();
  if (!exporter) return;
  {
    AutoLock hold(exporter->lock_);
    for (auto& entry : exporter->categories_) entry.second = false;
  }
  exporter->export_enabled_.store(false, std::memory_order_release);
  TraceLog::GetInstance()->UpdateETWCategoryGroupEnabledFlags();
}

// static
bool TraceEventETWExport::IsCategoryGroupEnabled(StringPiece group) {
  uintptr_t value = g_exporter.load(std::memory_order_acquire);
  if (value <= kTornDown) return false;
  auto* exporter = reinterpret_cast<TraceEventETWExport*>(value);
  if (!exporter->export_enabled_.load(std::memory_order_acquire)) return false;
  StringTokenizer categories(group, ",");
  while (categories.GetNext()) {
    if (exporter->IsCategoryEnabled(categories.token())) return true;
  }
  return false;
}

bool TraceEventETWExport::IsCategoryEnabled(StringPiece category) const {
  AutoLock hold(lock_);
  auto found = categories_.find(std::string(category));
  if (found != categories_.end()) return found->second;
  const char* catch_all = category.starts_with(kDisabledByDefaultPrefix)
                              ? kDisabledOtherEvents
                              : kOtherEvents;
  found = categories_.find(catch_all);
  return found != categories_.end() && found->second;
}

bool TraceEventETWExport::CanWrite() const {
  return export_enabled_.load(std::memory_order_acquire) &&
         event_enabled_.load(std::memory_order_acquire);
}

// static
std::string TraceEventETWExport::PhaseName(char phase) {
  for (const PhaseText& entry : kPhaseTexts) {
    if (entry.phase == phase) return entry.text;
  }
  return std::string(1, phase);
}

// static
void TraceEventETWExport::AddEvent(char phase, const char* name, int num_args,
                                   const char* const* arg_names,
                                   const unsigned char* arg_types,
                                   const unsigned long long* arg_values) {
  TraceEventETWExport* exporter = GetInstance();
  if (!exporter || !exporter->CanWrite()) return;
  std::string fields[kPayloadFields];
  fields[0] = TextOrNull(name);
  fields[1] = PhaseName(phase);
  int count = num_args < 0 ? 0 : (num_args > 3 ? 3 : num_args);
  for (int i = 0; i < count; ++i) {
    fields[2 + 2 * i] = TextOrNull(arg_names[i]);
    if (arg_types[i] != kArgTypeConvertable) {
      TraceEvent::TraceValue value;
      value.as_uint = arg_values[i];
      TraceEvent::AppendValueAsJSON(arg_types[i], value, &fields[3 + 2 * i]);
    }
  }
  exporter->Write(fields);
}

// static
void TraceEventETWExport::AddCompleteEndEvent(const char* name) {
  TraceEventETWExport* exporter = GetInstance();
  if (!exporter || !exporter->CanWrite()) return;
  std::string fields[kPayloadFields];
  fields[0] = TextOrNull(name);
  fields[1] = kCompleteEnd;
  exporter->Write(fields);
}

void TraceEventETWExport::Write(const std::string* fields) {
  uint64_t handle = handle_.load(std::memory_order_acquire);
  if (!handle || !functions_.event_write) return;
  EtwDataDescriptor data[kPayloadFields];
  for (int i = 0; i < kPayloadFields; ++i) {
    data[i].ptr = reinterpret_cast<uintptr_t>(fields[i].c_str());
    data[i].size = static_cast<uint32_t>(fields[i].size() + 1);
    data[i].reserved = 0;
  }
  functions_.event_write(handle, &kEventDescriptor, kPayloadFields, data);
}

bool TraceEventETWExport::controller_enabled() const {
  return controller_enabled_.load(std::memory_order_acquire);
}

bool TraceEventETWExport::event_enabled() const {
  return event_enabled_.load(std::memory_order_acquire);
}

uint64_t TraceEventETWExport::registration_handle() const {
  return handle_.load(std::memory_order_acquire);
}

}  // namespace trace_event
}  // namespace base
