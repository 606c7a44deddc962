// Linked into every fuzzer (velna_fuzzer): the log is off but for FATAL
// lines. The parsers log each input they refuse, and a fuzzer feeds them
// millions; the lines would fill the disk and slow the fuzzer down.

#include "base/logging.h"

namespace {

struct QuietLogging {
  QuietLogging() { logging::SetMinLogLevel(logging::LOG_FATAL); }
};

// Before the first input: the level is a constant the linker sets, so the
// order of initialisation does not matter.
QuietLogging g_quiet_logging;

}  // namespace
