// Reads a trace file's JSON back for tests: {"traceEvents":[...]} through
// JSONReader, with each event's common members taken out.

#ifndef BASE_TRACE_EVENT_TEST_PARSED_TRACE_H_
#define BASE_TRACE_EVENT_TEST_PARSED_TRACE_H_

#include <memory>
#include <string>
#include <vector>

#include "base/values.h"

namespace base {
namespace trace_event {

struct ParsedTraceEvent {
  // False when a member every event must have is missing.
  bool complete = false;
  double pid = 0;
  double tid = 0;
  double ts = 0;
  std::string ph;
  std::string cat;
  std::string name;
  // Null when absent.
  const DictionaryValue* args = nullptr;
  const DictionaryValue* event = nullptr;

  // The string argument |name|, or "" when absent.
  std::string StringArg(const char* arg_name) const;
  bool HasMember(const char* member) const;
  // The member as a number; false when absent.
  bool GetNumber(const char* member, double* value) const;
};

class ParsedTrace {
 public:
  // False, with the reason in |*error|, when |json| is not a trace.
  bool Parse(const std::string& json, std::string* error);

  const std::vector<ParsedTraceEvent>& events() const { return events_; }
  // The events called |name| (with phase |ph| when not empty).
  std::vector<const ParsedTraceEvent*> Find(const std::string& name,
                                            const std::string& ph = "") const;

 private:
  std::unique_ptr<Value> root_;
  std::vector<ParsedTraceEvent> events_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TEST_PARSED_TRACE_H_
