#include "base/metrics/histogram_base.h"

#include <map>
#include <mutex>
#include <utility>

namespace base {

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, std::unique_ptr<HistogramBase>, std::less<>> map;
};

// Never destroyed: histograms are handed out as raw pointers that callers
// keep in statics, so they must outlive every other static.
Registry& GetRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

HistogramBase::HistogramBase(std::string name, int32_t flags)
    : name_(std::move(name)), flags_(flags) {}

HistogramBase::~HistogramBase() = default;

void HistogramBase::SetFlags(int32_t flags) {
  flags_.fetch_or(flags, std::memory_order_relaxed);
}

// static
HistogramBase* HistogramBase::Find(const std::string& name) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto it = registry.map.find(name);
  return it == registry.map.end() ? nullptr : it->second.get();
}

// static
HistogramBase* HistogramBase::Register(
    std::unique_ptr<HistogramBase> histogram) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto [it, inserted] =
      registry.map.try_emplace(histogram->histogram_name(), nullptr);
  if (inserted) it->second = std::move(histogram);
  return it->second.get();
}

}  // namespace base
