// TracedValue: a dictionary tree written append-only into a compact stream
// (a pickle of one-byte markers and their data) that becomes JSON only when
// the trace is written. The stream starts inside the root dictionary.
//
//   '{' '[' start a dictionary or array (then its key, unless in an array)
//   '}' ']' end one
//   'b' 'i' 'd' 's' a Boolean, 32-bit integer, double or string (then its
//               key, unless in an array)
// A key is '*' and a pointer to a string that lives as long as the program
// (the const char* setters: pass literals only), or 's' and copied bytes
// (the ...WithCopiedName setters).
//
// Written by one thread; not thread-safe.

#ifndef BASE_TRACE_EVENT_TRACED_VALUE_H_
#define BASE_TRACE_EVENT_TRACED_VALUE_H_

#include <memory>
#include <string>

#include "base/pickle.h"
#include "base/strings/string_piece.h"
#include "base/trace_event/trace_event_record.h"

namespace base {

class DictionaryValue;

namespace trace_event {

class TracedValue : public ConvertableToTraceFormat {
 public:
  TracedValue();
  ~TracedValue() override;

  // In the current dictionary, under a static key.
  void SetInteger(const char* name, int value);
  void SetDouble(const char* name, double value);
  void SetBoolean(const char* name, bool value);
  void SetString(const char* name, StringPiece value);
  void BeginDictionary(const char* name);
  void BeginArray(const char* name);

  // The same under a copied key.
  void SetIntegerWithCopiedName(StringPiece name, int value);
  void SetStringWithCopiedName(StringPiece name, StringPiece value);
  void BeginDictionaryWithCopiedName(StringPiece name);

  // In the current array.
  void AppendInteger(int value);
  void AppendDouble(double value);
  void AppendBoolean(bool value);
  void AppendString(StringPiece value);
  void BeginDictionary();
  void BeginArray();

  void EndDictionary();
  void EndArray();

  // The tree as a dictionary value; open containers count as closed.
  std::unique_ptr<DictionaryValue> ToBaseValue() const;

  // ConvertableToTraceFormat:
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  void WriteMarker(char marker);
  void WriteKey(const char* name);
  void WriteCopiedKey(StringPiece name);

  Pickle pickle_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACED_VALUE_H_
