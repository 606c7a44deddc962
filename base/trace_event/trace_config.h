// TraceConfig: what a trace records. Its category lists decide, per category
// group ("toplevel", or several categories joined by ","), whether the group
// is enabled; its event-filter entries attach filters to groups. The trace
// log keeps one for recording and one for the event callback.
//
// A configuration is a plain value: copy it freely; not thread-safe.

#ifndef BASE_TRACE_EVENT_TRACE_CONFIG_H_
#define BASE_TRACE_EVENT_TRACE_CONFIG_H_

#include <stdint.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"
#include "base/values.h"

namespace base {
namespace trace_event {

// True when |text| matches |pattern|, compared by UTF-8 code points (a
// malformed sequence equals nothing). "*" is any run of characters, "?" zero
// or one character, "\" makes the next character literal. The match
// recurses at most 16 levels deep; a branch needing more fails.
bool MatchPattern(StringPiece text, StringPiece pattern);

class TraceConfig {
 public:
  // Settings the memory-dump side copies; this class only stores them.
  struct MemoryDumpConfig {
    struct Trigger {
      uint32_t periodic_interval_ms = 0;
      int level_of_detail = 0;
    };
    static constexpr uint32_t kDefaultBreakdownThresholdBytes = 1024;

    std::set<int> allowed_dump_modes;
    std::vector<Trigger> triggers;
    uint32_t breakdown_threshold_bytes = kDefaultBreakdownThresholdBytes;
  };

  // Attaches filters, made by the trace log from |predicate_name|, to the
  // groups its own category lists accept.
  class EventFilterConfig {
   public:
    explicit EventFilterConfig(const std::string& predicate_name);
    EventFilterConfig(const EventFilterConfig& other);
    EventFilterConfig& operator=(const EventFilterConfig& other);
    ~EventFilterConfig();

    // Each token in order: excluded gives false, included gives true;
    // no token decides: false.
    bool IsCategoryGroupEnabled(StringPiece group) const;

    const std::string& predicate_name() const { return predicate_name_; }
    std::vector<std::string>& included_categories() { return included_; }
    std::vector<std::string>& excluded_categories() { return excluded_; }
    // May be null; deep-copied with the entry.
    const DictionaryValue* args() const { return args_.get(); }
    void SetArgs(std::unique_ptr<DictionaryValue> args);

   private:
    std::string predicate_name_;
    std::vector<std::string> included_;
    std::vector<std::string> excluded_;
    std::unique_ptr<DictionaryValue> args_;
  };

  // Names of the development switch's limits.
  static constexpr size_t kMaxPatternLength = 64;
  static constexpr int kMaxWildcardsPerPattern = 4;

  TraceConfig();
  TraceConfig(const TraceConfig& other);
  TraceConfig& operator=(const TraceConfig& other);
  ~TraceConfig();

  // Fills |*config| from a category filter: comma-separated patterns; a
  // leading "-" excludes, "disabled-by-default-..." goes to the disabled
  // list, anything else is included. False, with the reason in |*error| and
  // |*config| untouched, for an empty pattern, one over 64 bytes, or one
  // with more than 4 "*" (the matcher backtracks on each).
  static bool ParseCategoryFilter(StringPiece filter, TraceConfig* config,
                                  std::string* error);

  // Record mode 0, options clear, every list empty, dump settings reset.
  void Clear();

  bool IsCategoryGroupEnabled(StringPiece group) const;
  bool IsCategoryEnabled(StringPiece category) const;

  int record_mode() const { return record_mode_; }
  void set_record_mode(int mode) { record_mode_ = mode; }
  bool enable_sampling() const { return enable_sampling_; }
  bool enable_systrace() const { return enable_systrace_; }
  bool enable_argument_filter() const { return enable_argument_filter_; }

  std::vector<std::string>& included_categories() { return included_; }
  std::vector<std::string>& disabled_categories() { return disabled_; }
  std::vector<std::string>& excluded_categories() { return excluded_; }
  const std::vector<std::string>& included_categories() const {
    return included_;
  }
  const std::vector<std::string>& disabled_categories() const {
    return disabled_;
  }
  const std::vector<std::string>& excluded_categories() const {
    return excluded_;
  }
  std::vector<std::string>& synthetic_delays() { return synthetic_delays_; }
  MemoryDumpConfig& memory_dump_config() { return memory_dump_config_; }
  const MemoryDumpConfig& memory_dump_config() const {
    return memory_dump_config_;
  }
  std::vector<EventFilterConfig>& event_filters() { return event_filters_; }
  const std::vector<EventFilterConfig>& event_filters() const {
    return event_filters_;
  }

 private:
  int record_mode_ = 0;
  bool enable_sampling_ = false;
  bool enable_systrace_ = false;
  bool enable_argument_filter_ = false;
  MemoryDumpConfig memory_dump_config_;
  std::vector<std::string> included_;
  std::vector<std::string> disabled_;
  std::vector<std::string> excluded_;
  std::vector<std::string> synthetic_delays_;
  std::vector<EventFilterConfig> event_filters_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_CONFIG_H_
