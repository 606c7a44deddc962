// The numbers shared by the trace log, its records and its callers: state
// bits, phases, argument types, event flags, and the handle of a stored
// event.

#ifndef BASE_TRACE_EVENT_TRACE_LOG_CONSTANTS_H_
#define BASE_TRACE_EVENT_TRACE_LOG_CONSTANTS_H_

#include <stdint.h>

namespace base {
namespace trace_event {

// Bits of a category group's enabled-state byte.
inline constexpr unsigned char kEnabledForRecording = 0x01;
inline constexpr unsigned char kEnabledForEventCallback = 0x04;
inline constexpr unsigned char kEnabledForEtwExport = 0x08;
inline constexpr unsigned char kEnabledForFiltering = 0x10;
// Any of these means "record".
inline constexpr unsigned char kEnabledMask = 0x1D;

// Trace options: which buffer records, and the console echo.
inline constexpr unsigned int kTraceOptionRecordUntilFull = 0x01;
inline constexpr unsigned int kTraceOptionRecordContinuously = 0x02;
inline constexpr unsigned int kTraceOptionEchoToConsole = 0x08;
inline constexpr unsigned int kTraceOptionRecordAsMuchAsPossible = 0x10;

// Phases.
inline constexpr char kPhaseBegin = 'B';
inline constexpr char kPhaseEnd = 'E';
inline constexpr char kPhaseComplete = 'X';
inline constexpr char kPhaseInstant = 'I';
inline constexpr char kPhaseNestableAsyncBegin = 'b';
inline constexpr char kPhaseNestableAsyncEnd = 'e';
inline constexpr char kPhaseFlowBegin = 's';
inline constexpr char kPhaseFlowEnd = 'f';
inline constexpr char kPhaseMetadata = 'M';
inline constexpr char kPhaseBindIds = '=';

// Argument types.
inline constexpr unsigned char kArgTypeBool = 1;
inline constexpr unsigned char kArgTypeUInt = 2;
inline constexpr unsigned char kArgTypeInt = 3;
inline constexpr unsigned char kArgTypeDouble = 4;
inline constexpr unsigned char kArgTypePointer = 5;
inline constexpr unsigned char kArgTypeString = 6;
inline constexpr unsigned char kArgTypeCopyString = 7;
inline constexpr unsigned char kArgTypeConvertable = 8;

// Event flags.
inline constexpr unsigned int kFlagNone = 0;
inline constexpr unsigned int kFlagCopy = 0x01;
inline constexpr unsigned int kFlagHasId = 0x02;
inline constexpr unsigned int kFlagMangleId = 0x04;
inline constexpr unsigned int kFlagScopeProcess = 0x08;
inline constexpr unsigned int kFlagScopeThread = 0x10;
inline constexpr unsigned int kFlagAsyncTts = 0x40;
inline constexpr unsigned int kFlagBindToEnclosing = 0x80;
inline constexpr unsigned int kFlagFlowIn = 0x100;
inline constexpr unsigned int kFlagFlowOut = 0x200;
inline constexpr unsigned int kFlagHasProcessId = 0x800;

// Names one stored event, so that the end of a complete event finds it
// again: chunk sequence number (bits 0-31), chunk index (26 bits) and event
// index in the chunk (6 bits). All zero: no event was stored; sequence
// numbers start at 1.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint32_t chunk_index : 26 = 0;
  uint32_t event_index : 6 = 0;

  bool is_null() const {
    return chunk_seq == 0 && chunk_index == 0 && event_index == 0;
  }
};

// The one way state bytes are read and written: relaxed atomic byte
// accesses, so that a recomputation racing with call sites is well defined.
inline unsigned char LoadCategoryState(const unsigned char* state) {
  return __atomic_load_n(state, __ATOMIC_RELAXED);
}
inline void StoreCategoryState(unsigned char* state, unsigned char value) {
  __atomic_store_n(state, value, __ATOMIC_RELAXED);
}

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_CONSTANTS_H_
