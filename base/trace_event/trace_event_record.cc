#include "base/trace_event/trace_event_record.h"

#include <math.h>
#include <string.h>

#include <utility>

#include "base/json/string_escape.h"
#include "base/strings/dtoa.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

constexpr TimeDelta kNoDuration = TimeDelta::FromMicroseconds(-1);

size_t CopyLength(const char* text) { return text ? strlen(text) + 1 : 0; }

// Copies |*text| (with its NUL) to |*cursor| and points |*text| there.
void CopyInto(char** cursor, const char** text) {
  if (!*text) return;
  size_t length = strlen(*text) + 1;
  memcpy(*cursor, *text, length);
  *text = *cursor;
  *cursor += length;
}

void AppendQuoted(const char* text, std::string* out) {
  EscapeJSONString(text ? StringPiece(text) : StringPiece("NULL"), true, out);
}

}  // namespace

TraceEvent::TraceEvent() = default;

TraceEvent::~TraceEvent() = default;

void TraceEvent::Initialize(
    int thread_id, TimeTicks timestamp, ThreadTicks thread_time, char phase,
    const unsigned char* category_state, const char* name, const char* scope,
    unsigned long long id, unsigned long long bind_id, int num_args,
    const char* const* arg_names, const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  timestamp_ = timestamp;
  thread_timestamp_ = thread_time;
  duration_ = kNoDuration;
  // A recycled slot would otherwise keep its earlier event's value.
  thread_duration_ = kNoDuration;
  scope_ = scope;
  id_ = id;
  category_state_ = category_state;
  name_ = name;
  thread_id_ = thread_id;
  flags_ = flags;
  bind_id_ = bind_id;
  phase_ = phase;

  int count = num_args < 0 ? 0 : (num_args > kMaxArgs ? kMaxArgs : num_args);
  for (int i = 0; i < count; ++i) {
    arg_names_[i] = arg_names[i];
    arg_types_[i] = arg_types[i];
    if (arg_types[i] == kArgTypeConvertable) {
      arg_values_[i].as_uint = 0;
      convertable_values_[i] =
          convertable_values ? std::move(convertable_values[i]) : nullptr;
    } else {
      arg_values_[i].as_uint = arg_values[i];
      convertable_values_[i].reset();
    }
  }
  for (int i = count; i < kMaxArgs; ++i) {
    arg_names_[i] = nullptr;
    arg_values_[i].as_uint = 0;
    convertable_values_[i].reset();
    arg_types_[i] = kArgTypeUInt;
  }
  CopyTexts();
}

void TraceEvent::CopyTexts() {
  const bool copy = (flags_ & kFlagCopy) != 0;
  size_t total = 0;
  if (copy) {
    total += CopyLength(name_) + CopyLength(scope_);
    for (int i = 0; i < kMaxArgs; ++i) {
      total += CopyLength(arg_names_[i]);
      if (arg_types_[i] == kArgTypeString) arg_types_[i] = kArgTypeCopyString;
    }
  }
  for (int i = 0; i < kMaxArgs; ++i) {
    if (arg_types_[i] == kArgTypeCopyString)
      total += CopyLength(arg_values_[i].as_string);
  }
  if (total == 0) {
    copy_storage_.reset();
    return;
  }
  copy_storage_ = std::make_unique<std::string>(total, '\0');
  char* cursor = copy_storage_->data();
  if (copy) {
    CopyInto(&cursor, &name_);
    CopyInto(&cursor, &scope_);
    for (const char*& arg_name : arg_names_) CopyInto(&cursor, &arg_name);
  }
  for (int i = 0; i < kMaxArgs; ++i) {
    if (arg_types_[i] == kArgTypeCopyString)
      CopyInto(&cursor, &arg_values_[i].as_string);
  }
}

void TraceEvent::MoveFrom(std::unique_ptr<TraceEvent> other) {
  timestamp_ = other->timestamp_;
  thread_timestamp_ = other->thread_timestamp_;
  duration_ = other->duration_;
  thread_duration_ = other->thread_duration_;
  scope_ = other->scope_;
  id_ = other->id_;
  category_state_ = other->category_state_;
  name_ = other->name_;
  thread_id_ = other->thread_id_;
  flags_ = other->flags_;
  bind_id_ = other->bind_id_;
  phase_ = other->phase_;
  for (int i = 0; i < kMaxArgs; ++i) {
    arg_values_[i] = other->arg_values_[i];
    arg_names_[i] = other->arg_names_[i];
    arg_types_[i] = other->arg_types_[i];
    convertable_values_[i] = std::move(other->convertable_values_[i]);
  }
  // The pointers into the copy storage stay valid: the string moves, its
  // characters do not.
  copy_storage_ = std::move(other->copy_storage_);
}

void TraceEvent::Reset() {
  copy_storage_.reset();
  for (auto& convertable : convertable_values_) convertable.reset();
  duration_ = kNoDuration;
  thread_duration_ = kNoDuration;
}

void TraceEvent::UpdateDuration(TimeTicks now, ThreadTicks thread_now) {
  duration_ = now - timestamp_;
  if (!thread_timestamp_.is_null())
    thread_duration_ = thread_now - thread_timestamp_;
}

// static
void TraceEvent::AppendValueAsJSON(unsigned char type, TraceValue value,
                                   std::string* out) {
  switch (type) {
    case kArgTypeBool:
      // The low byte: a bool stored through the union, read without
      // reading a bool that may hold another byte value.
      out->append(static_cast<unsigned char>(value.as_uint) ? "true" : "false");
      break;
    case kArgTypeUInt:
      StringAppendF(out, "%llu", value.as_uint);
      break;
    case kArgTypeInt:
      StringAppendF(out, "%lld", value.as_int);
      break;
    case kArgTypeDouble: {
      double number = value.as_double;
      if (isnan(number)) {
        out->append("\"NaN\"");
      } else if (isinf(number)) {
        out->append(number < 0 ? "\"-Infinity\"" : "\"Infinity\"");
      } else {
        char buffer[kGFmtBufferSize];
        std::string text = g_fmt(buffer, number);
        if (text.find_first_of(".eE") == std::string::npos) text += ".0";
        // JSON wants a digit before the point.
        if (text[0] == '.')
          text.insert(0, "0");
        else if (text.compare(0, 2, "-.") == 0)
          text.insert(1, "0");
        out->append(text);
      }
      break;
    }
    case kArgTypePointer:
      StringAppendF(out, "\"0x%llx\"",
                    static_cast<unsigned long long>(
                        reinterpret_cast<uintptr_t>(value.as_pointer)));
      break;
    case kArgTypeString:
    case kArgTypeCopyString:
      AppendQuoted(value.as_string, out);
      break;
    default:
      break;
  }
}

void TraceEvent::AppendAsJSON(
    std::string* out, const ArgumentFilterPredicate& argument_filter) const {
  const TraceLog* log = TraceLog::GetInstance();
  int process_id = log->process_id();
  int thread_id = thread_id_;
  if (flags_ & kFlagHasProcessId) {
    if (thread_id_ != 0) {
      process_id = thread_id_;
      thread_id = -1;
    } else {
      thread_id = 0;
    }
  }
  const char* category = TraceLog::GetCategoryGroupName(category_state_);
  StringAppendF(out, "{\"pid\":%i,\"tid\":%i,\"ts\":%lld,\"ph\":", process_id,
                thread_id,
                static_cast<long long>(timestamp_.ToInternalValue()));
  EscapeJSONString(StringPiece(&phase_, 1), true, out);
  out->append(",\"cat\":");
  AppendQuoted(category, out);
  out->append(",\"name\":");
  AppendQuoted(name_, out);
  out->append(",\"args\":");

  ArgumentNameFilterPredicate name_filter;
  if (argument_filter && arg_names_[0] &&
      !argument_filter(category, name_, &name_filter)) {
    out->append("\"__stripped__\"");
  } else {
    out->append("{");
    for (int i = 0; i < kMaxArgs && arg_names_[i]; ++i) {
      if (i > 0) out->append(",");
      AppendQuoted(arg_names_[i], out);
      out->append(":");
      if (name_filter && !name_filter(arg_names_[i])) {
        out->append("\"__stripped__\"");
      } else if (arg_types_[i] == kArgTypeConvertable) {
        if (convertable_values_[i])
          convertable_values_[i]->AppendAsTraceFormat(out);
        else
          out->append("null");
      } else {
        AppendValueAsJSON(arg_types_[i], arg_values_[i], out);
      }
    }
    out->append("}");
  }

  if (phase_ == kPhaseComplete) {
    if (duration_ != kNoDuration)
      StringAppendF(out, ",\"dur\":%lld",
                    static_cast<long long>(duration_.InMicroseconds()));
    if (!thread_timestamp_.is_null() && thread_duration_ != kNoDuration) {
      StringAppendF(out, ",\"tdur\":%lld",
                    static_cast<long long>(thread_duration_.InMicroseconds()));
    }
  }
  if (!thread_timestamp_.is_null()) {
    StringAppendF(out, ",\"tts\":%lld",
                  static_cast<long long>(thread_timestamp_.ToInternalValue()));
  }
  if (flags_ & kFlagAsyncTts) out->append(", \"use_async_tts\":1");
  if (flags_ & kFlagHasId) {
    if (scope_) {
      out->append(",\"scope\":");
      AppendQuoted(scope_, out);
    }
    StringAppendF(out, ",\"id\":\"0x%llx\"", id_);
  }
  if (flags_ & kFlagBindToEnclosing) out->append(",\"bp\":\"e\"");
  if ((flags_ & (kFlagFlowIn | kFlagFlowOut)) || phase_ == kPhaseBindIds)
    StringAppendF(out, ",\"bind_id\":\"0x%llx\"", bind_id_);
  if (flags_ & kFlagFlowIn) out->append(",\"flow_in\":true");
  if (flags_ & kFlagFlowOut) out->append(",\"flow_out\":true");
  if (phase_ == kPhaseInstant) {
    char scope = 'g';
    unsigned int bits = flags_ & (kFlagScopeProcess | kFlagScopeThread);
    if (bits == kFlagScopeProcess)
      scope = 'p';
    else if (bits == kFlagScopeThread)
      scope = 't';
    else if (bits != 0)
      scope = '?';
    StringAppendF(out, ",\"s\":\"%c\"", scope);
  }
  out->append("}");
}

void TraceEvent::AppendPrettyPrinted(std::ostream* out) const {
  *out << (name_ ? name_ : "NULL") << "["
       << TraceLog::GetCategoryGroupName(category_state_) << "]";
  if (!arg_names_[0]) return;
  *out << ", {";
  for (int i = 0; i < kMaxArgs && arg_names_[i]; ++i) {
    if (i > 0) *out << ", ";
    *out << arg_names_[i] << ":";
    std::string value;
    if (arg_types_[i] == kArgTypeConvertable) {
      if (convertable_values_[i])
        convertable_values_[i]->AppendAsTraceFormat(&value);
    } else {
      AppendValueAsJSON(arg_types_[i], arg_values_[i], &value);
    }
    *out << value;
  }
  *out << "}";
}

void ConvertableToTraceFormat::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadUnknownConvertable, sizeof(*this));
}

void TraceEvent::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) const {
  overhead->Add(kOverheadTraceEvent, sizeof(*this));
  if (copy_storage_) {
    // What a string's heap block costs: at least 32 bytes, in steps of 16.
    size_t capacity = (copy_storage_->capacity() + 15) & ~size_t{15};
    if (capacity < 32) capacity = 32;
    overhead->Add(kOverheadString, sizeof(std::string) + capacity);
  }
  for (const auto& convertable : convertable_values_) {
    if (convertable) convertable->EstimateTraceMemoryOverhead(overhead);
  }
}

}  // namespace trace_event
}  // namespace base
