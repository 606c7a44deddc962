#include "base/trace_event/test/parsed_trace.h"

#include "base/json/json_reader.h"

namespace base {
namespace trace_event {

namespace {

bool GetStringMember(const DictionaryValue* dictionary, const char* key,
                     std::string* value) {
  const Value* found = nullptr;
  return dictionary && dictionary->GetWithoutPathExpansion(key, &found) &&
         found->GetAsString(value);
}

}  // namespace

std::string ParsedTraceEvent::StringArg(const char* arg_name) const {
  std::string value;
  GetStringMember(args, arg_name, &value);
  return value;
}

bool ParsedTraceEvent::HasMember(const char* member) const {
  return event && event->HasKey(member);
}

bool ParsedTraceEvent::GetNumber(const char* member, double* value) const {
  const Value* found = nullptr;
  return event && event->GetWithoutPathExpansion(member, &found) &&
         found->GetAsDouble(value);
}

bool ParsedTrace::Parse(const std::string& json, std::string* error) {
  events_.clear();
  int code = 0;
  root_ = JSONReader::ReadAndReturnError(json, 0, &code, error);
  const DictionaryValue* root = nullptr;
  const ListValue* list = nullptr;
  if (!root_ || !root_->GetAsDictionary(&root) ||
      !root->GetListWithoutPathExpansion("traceEvents", &list)) {
    if (error->empty()) *error = "no traceEvents list";
    return false;
  }
  for (size_t i = 0; i < list->GetSize(); ++i) {
    ParsedTraceEvent parsed;
    if (!list->GetDictionary(i, &parsed.event)) {
      *error = "an event is not an object";
      return false;
    }
    parsed.complete = parsed.GetNumber("pid", &parsed.pid) &&
                      parsed.GetNumber("tid", &parsed.tid) &&
                      parsed.GetNumber("ts", &parsed.ts) &&
                      GetStringMember(parsed.event, "ph", &parsed.ph) &&
                      GetStringMember(parsed.event, "cat", &parsed.cat) &&
                      GetStringMember(parsed.event, "name", &parsed.name);
    parsed.event->GetDictionaryWithoutPathExpansion("args", &parsed.args);
    events_.push_back(parsed);
  }
  return true;
}

std::vector<const ParsedTraceEvent*> ParsedTrace::Find(
    const std::string& name, const std::string& ph) const {
  std::vector<const ParsedTraceEvent*> found;
  for (const ParsedTraceEvent& event : events_) {
    if (event.name == name && (ph.empty() || event.ph == ph))
      found.push_back(&event);
  }
  return found;
}

}  // namespace trace_event
}  // namespace base
