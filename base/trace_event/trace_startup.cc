#include "base/trace_event/trace_startup.h"

#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

// Flushes the trace and writes it to the file |parameter| owns.
void WriteTraceFileAtExit(void* parameter) {
  std::unique_ptr<FilePath> path(static_cast<FilePath*>(parameter));
  std::string json =
      TraceLog::GetInstance()->FlushAsJSON(kStartupTraceFlushWait);
  // A temporary name, then a rename: a reader never sees half a trace.
  if (!ImportantFileWriter::WriteFileAtomically(*path, json)) {
    LOG(ERROR) << "Could not write the trace file "
               << UTF16ToUTF8(path->value());
  }
}

}  // namespace

bool EnableTracingFromCommandLine(const CommandLine* command_line) {
  if (!command_line) command_line = CommandLine::ForCurrentProcess();
  if (!command_line || !command_line->HasSwitch(switches::kTraceFile))
    return false;
  FilePath path = command_line->GetSwitchValuePath(switches::kTraceFile);
  if (path.empty()) {
    LOG(ERROR) << "--" << switches::kTraceFile << " needs a file name";
    return false;
  }
  TraceConfig config;
  if (command_line->HasSwitch(switches::kTraceCategories)) {
    std::string error;
    std::string filter =
        command_line->GetSwitchValueASCII(switches::kTraceCategories);
    if (!TraceConfig::ParseCategoryFilter(filter, &config, &error)) {
      LOG(ERROR) << "Tracing stays off: bad --" << switches::kTraceCategories
                 << ": " << error;
      return false;
    }
  }
  if (!AtExitManager::IsActive()) {
    LOG(ERROR) << "Tracing stays off: no at-exit scope to write the trace";
    return false;
  }
  TraceLog::GetInstance()->SetEnabled(config, kTraceOptionRecordUntilFull);
  AtExitManager::RegisterCallback(&WriteTraceFileAtExit,
                                  new FilePath(std::move(path)));
  return true;
}

}  // namespace trace_event
}  // namespace base
