// TraceEvent: one recorded trace event as it sits in a chunk of the trace
// buffer or in the trace log's metadata list, and its three text forms: the
// JSON object of the trace file, an argument value as JSON, and the one-line
// console form of the console echo.
//
// A record does not own the texts it points to unless they were copied into
// its copy storage (flag kFlagCopy, or arguments of type kArgTypeCopyString);
// the caller's texts must outlive the record otherwise. Records are written
// only by the owner of their chunk, so the class has no lock.

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_RECORD_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_RECORD_H_

#include <stdint.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "base/time/time.h"
#include "base/trace_event/trace_log_constants.h"

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// An argument that writes itself as trace-format JSON. Owned by the record
// it is given to.
class ConvertableToTraceFormat {
 public:
  virtual ~ConvertableToTraceFormat() = default;
  // Appends valid JSON (an object, list, number or quoted string).
  virtual void AppendAsTraceFormat(std::string* out) const = 0;
  // Adds what it costs; by default one object of unknown kind.
  virtual void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);
};

// Decides per argument name whether its value is kept.
using ArgumentNameFilterPredicate = std::function<bool(const char* arg_name)>;
// Called with (category group, event name); false strips all arguments.
// May set |*name_filter| to strip single arguments instead.
using ArgumentFilterPredicate =
    std::function<bool(const char* category_group, const char* event_name,
                       ArgumentNameFilterPredicate* name_filter)>;

class TraceEvent {
 public:
  // The value of one argument; which member is meant follows its type.
  union TraceValue {
    bool as_bool;
    unsigned long long as_uint;
    long long as_int;
    double as_double;
    const void* as_pointer;
    const char* as_string;
  };

  // A record in its initial state: timestamps 0, durations -1, phase 'B',
  // no arguments.
  TraceEvent();
  TraceEvent(const TraceEvent&) = delete;
  TraceEvent& operator=(const TraceEvent&) = delete;
  ~TraceEvent();

  // Fills the record. At most two arguments are stored; |arg_values| holds
  // the raw 64-bit values, |convertable_values| (may be null) the owned
  // arguments of type kArgTypeConvertable, which are taken over. The thread
  // duration is reset to -1, so a reused record never keeps an old one.
  void Initialize(int thread_id, TimeTicks timestamp, ThreadTicks thread_time,
                  char phase, const unsigned char* category_state,
                  const char* name, const char* scope, unsigned long long id,
                  unsigned long long bind_id, int num_args,
                  const char* const* arg_names, const unsigned char* arg_types,
                  const unsigned long long* arg_values,
                  std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                  unsigned int flags);

  // Takes over |other|'s contents (copy storage and convertables included)
  // and deletes it.
  void MoveFrom(std::unique_ptr<TraceEvent> other);

  // Releases copied strings and convertables; durations become -1.
  void Reset();

  // Sets the durations of a closed complete event; the thread duration only
  // when the record has a thread timestamp.
  void UpdateDuration(TimeTicks now, ThreadTicks thread_now);

  // The JSON object of the trace format, appended to |out|. Every text is
  // escaped, so the result always parses. |argument_filter| may be null.
  void AppendAsJSON(std::string* out,
                    const ArgumentFilterPredicate& argument_filter) const;
  // One argument value as JSON (the console form and ETW use it too).
  static void AppendValueAsJSON(unsigned char type, TraceValue value,
                                std::string* out);
  // The console form: name[category], {arg:value, ...}
  void AppendPrettyPrinted(std::ostream* out) const;

  // Adds the record, its copied strings and its convertable arguments.
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) const;

  TimeTicks timestamp() const { return timestamp_; }
  ThreadTicks thread_timestamp() const { return thread_timestamp_; }
  TimeDelta duration() const { return duration_; }
  TimeDelta thread_duration() const { return thread_duration_; }
  const char* scope() const { return scope_; }
  unsigned long long id() const { return id_; }
  unsigned long long bind_id() const { return bind_id_; }
  unsigned int flags() const { return flags_; }
  char phase() const { return phase_; }
  int thread_id() const { return thread_id_; }
  const char* name() const { return name_; }
  const unsigned char* category_state() const { return category_state_; }
  const char* arg_name(int index) const { return arg_names_[index]; }
  unsigned char arg_type(int index) const { return arg_types_[index]; }
  TraceValue arg_value(int index) const { return arg_values_[index]; }
  const ConvertableToTraceFormat* convertable(int index) const {
    return convertable_values_[index].get();
  }
  // Null when nothing was copied.
  const std::string* copy_storage() const { return copy_storage_.get(); }

  static constexpr int kMaxArgs = 2;

 private:
  // Copies the texts named by the flags and the copy-string arguments into
  // one storage string and points the record at the copies.
  void CopyTexts();

  TimeTicks timestamp_;
  ThreadTicks thread_timestamp_;
  TimeDelta duration_ = TimeDelta::FromMicroseconds(-1);
  TimeDelta thread_duration_ = TimeDelta::FromMicroseconds(-1);
  const char* scope_ = nullptr;
  unsigned long long id_ = 0;
  TraceValue arg_values_[kMaxArgs] = {};
  const char* arg_names_[kMaxArgs] = {};
  std::unique_ptr<ConvertableToTraceFormat> convertable_values_[kMaxArgs];
  const unsigned char* category_state_ = nullptr;
  const char* name_ = nullptr;
  std::unique_ptr<std::string> copy_storage_;
  int thread_id_ = 0;
  unsigned int flags_ = 0;
  unsigned long long bind_id_ = 0;
  unsigned char arg_types_[kMaxArgs] = {};
  char phase_ = 'B';
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_RECORD_H_
