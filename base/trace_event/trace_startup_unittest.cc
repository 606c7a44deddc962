// Runs trace_startup_test_child with the tracing switches and reads the
// trace it leaves behind: every thread kind's events, the flows between
// posting and running, and the metadata, through JSONReader.

#include "base/trace_event/trace_startup.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/trace_event/test/parsed_trace.h"
#include "gtest/gtest.h"

#if defined(_WIN32)
#include <windows.h>

#include "base/command_line.h"
#include "base/test/child_process_win.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace base {
namespace trace_event {
namespace {

constexpr char kCategories[] =
    "toplevel,base,disabled-by-default-toplevel.flow";

struct ChildRun {
  bool started = false;
  int exit_code = -1;
  std::string output;
};

#if defined(_WIN32)
ChildRun RunTraceChild(const std::vector<std::string>& args) {
  std::u16string command = CommandLine::QuoteForCommandLine(
      GetTestExecutableFolder() + u"trace_startup_test_child.exe", false);
  for (const std::string& arg : args)
    command += u" " + CommandLine::QuoteForCommandLine(UTF8ToUTF16(arg), false);
  ChildRun run;
  DWORD exit_code = 0;
  run.started = RunChildProcess(command, {}, &run.output, &exit_code);
  run.exit_code = static_cast<int>(exit_code);
  return run;
}
#else
std::string TestExecutableFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return std::string();
  std::string folder(path, static_cast<size_t>(length));
  return folder.substr(0, folder.rfind('/') + 1);
}

ChildRun RunTraceChild(const std::vector<std::string>& args) {
  ChildRun run;
  std::string program = TestExecutableFolder() + "trace_startup_test_child";
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  if (pid < 0) {
    close(pipe_ends[0]);
    return run;
  }
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipe_ends[0], buffer, sizeof(buffer))) > 0)
    run.output.append(buffer, static_cast<size_t>(got));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.started = WIFEXITED(status) && WEXITSTATUS(status) != 127;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
#endif

std::string SwitchArg(const char* name, const std::string& value) {
  return std::string("--") + name + "=" + value;
}

std::string PathArg(const FilePath& path) { return UTF16ToUTF8(path.value()); }

class TraceStartupTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    trace_path_ = temp_dir_.GetPath().AppendASCII("trace.json");
  }

  ScopedTempDir temp_dir_;
  FilePath trace_path_;
};

TEST_F(TraceStartupTest, RecordsEveryThreadKind) {
  ChildRun run =
      RunTraceChild({SwitchArg(switches::kTraceFile, PathArg(trace_path_)),
                     SwitchArg(switches::kTraceCategories, kCategories)});
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("tracing=1"), std::string::npos) << run.output;

  std::string json;
  ASSERT_TRUE(FileUtil::ReadFileToString(trace_path_, &json));
  ParsedTrace trace;
  std::string error;
  ASSERT_TRUE(trace.Parse(json, &error)) << error;
  ASSERT_FALSE(trace.events().empty());
  for (const ParsedTraceEvent& event : trace.events())
    ASSERT_TRUE(event.complete) << "an event lacks a common member";

  // Tasks: complete events with their poster's source.
  auto run_tasks = trace.Find("MessageLoop::RunTask", "X");
  ASSERT_FALSE(run_tasks.empty());
  std::set<double> named_thread_tids;
  for (const ParsedTraceEvent* event : run_tasks) {
    double duration = -1;
    EXPECT_TRUE(event->GetNumber("dur", &duration));
    EXPECT_GE(duration, 0);
    EXPECT_FALSE(event->StringArg("src_file").empty());
    EXPECT_FALSE(event->StringArg("src_func").empty());
    if (event->StringArg("src_func") == "PostLastNamedThreadTask")
      named_thread_tids.insert(event->tid);
  }
  // The named thread's last task made it into the trace.
  ASSERT_EQ(named_thread_tids.size(), 1u);

  // Every queued task's flow ends where it ran.
  std::map<std::string, const ParsedTraceEvent*> flow_ends;
  for (const ParsedTraceEvent* end : trace.Find("MessageLoop::PostTask", "f")) {
    std::string id;
    ASSERT_TRUE(end->event->GetString("id", &id));
    flow_ends[id] = end;
  }
  auto flow_begins = trace.Find("MessageLoop::PostTask", "s");
  ASSERT_FALSE(flow_begins.empty());
  for (const ParsedTraceEvent* begin : flow_begins) {
    std::string id;
    ASSERT_TRUE(begin->event->GetString("id", &id));
    auto end = flow_ends.find(id);
    ASSERT_NE(end, flow_ends.end()) << "flow " << id << " never ends";
    const Value* queue_duration = nullptr;
    EXPECT_TRUE(end->second->args && end->second->args->GetWithoutPathExpansion(
                                         "queue_duration", &queue_duration));
  }

  // Both pools ran traced tasks; the sequenced pool's worker is named on
  // its thread id.
  auto pool_tasks = trace.Find("SequencedWorkerPool::Inner::ThreadLoop", "X");
  ASSERT_FALSE(pool_tasks.empty());
  EXPECT_FALSE(trace.Find("WorkerThread::ThreadMain::Run", "X").empty());
  std::map<double, std::string> thread_names;
  for (const ParsedTraceEvent* name : trace.Find("thread_name", "M"))
    thread_names[name->tid] = name->StringArg("name");
  EXPECT_NE(thread_names[pool_tasks[0]->tid].find("TraceTestPool"),
            std::string::npos);
  EXPECT_EQ(thread_names[*named_thread_tids.begin()], "TraceTestNamedThread");
  EXPECT_FALSE(trace.Find("num_cpus", "M").empty());

#if defined(_WIN32)
  bool saw_own_message = false;
  for (const ParsedTraceEvent* event :
       trace.Find("MessagePumpForUI::ProcessMessageHelper", "X")) {
    int message = 0;
    if (event->args && event->args->GetInteger("message", &message) &&
        message == WM_APP) {
      saw_own_message = true;
    }
  }
  EXPECT_TRUE(saw_own_message);
#endif
}

// The same run with memory-infra tracing and heap profiling: the heap
// profiler's tables are in the trace, and the memory-infra thread runs
// only while tracing does.
TEST_F(TraceStartupTest, MemoryInfraWithHeapProfiling) {
  ChildRun run =
      RunTraceChild({SwitchArg(switches::kTraceFile, PathArg(trace_path_)),
                     SwitchArg(switches::kTraceCategories,
                               std::string(kCategories) +
                                   ",disabled-by-default-memory-infra"),
                     "--enable-heap-profiling"});
  ASSERT_TRUE(run.started);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("memory_infra_thread_at_start=1"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("memory_infra_thread_at_exit=0"), std::string::npos)
      << run.output;

  std::string json;
  ASSERT_TRUE(FileUtil::ReadFileToString(trace_path_, &json));
  ParsedTrace trace;
  std::string error;
  ASSERT_TRUE(trace.Parse(json, &error)) << error;
  auto stack_frames = trace.Find("stackFrames", "M");
  auto type_names = trace.Find("typeNames", "M");
  ASSERT_EQ(stack_frames.size(), 1u) << json;
  ASSERT_EQ(type_names.size(), 1u) << json;
  const DictionaryValue* frames = nullptr;
  ASSERT_TRUE(stack_frames[0]->args &&
              stack_frames[0]->args->GetDictionary("stackFrames", &frames));
  const DictionaryValue* types = nullptr;
  ASSERT_TRUE(type_names[0]->args &&
              type_names[0]->args->GetDictionary("typeNames", &types));
  std::string unknown;
  EXPECT_TRUE(types->GetString("0", &unknown));
  EXPECT_EQ(unknown, "[unknown]");
  EXPECT_EQ(types->size(), 1u);
  // The rest of the trace is as without memory-infra.
  EXPECT_FALSE(trace.Find("MessageLoop::RunTask", "X").empty());
}

TEST_F(TraceStartupTest, NoSwitchWritesNothing) {
  ChildRun run = RunTraceChild({});
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.output.find("tracing=0"), std::string::npos) << run.output;
}

// Refused filters, and a trace file that cannot be written: an error line,
// no file, and the same exit code as a good run.
TEST_F(TraceStartupTest, ErrorsChangeNoResult) {
  const struct {
    const char* categories;  // null: no switch
    bool unwritable;
    const char* expected_error;
  } kCases[] = {
      {"toplevel,,base", false, "empty pattern"},
      {"-", false, "empty pattern"},
      {"a*b*c*d*e*f", false, "more than 4"},
      {"0123456789012345678901234567890123456789012345678901234567890123456",
       false, "longer than 64"},
      {nullptr, true, "Could not write the trace file"},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.expected_error);
    FilePath path =
        test.unwritable
            ? temp_dir_.GetPath().AppendASCII("missing").AppendASCII(
                  "trace.json")
            : trace_path_;
    std::vector<std::string> args = {
        SwitchArg(switches::kTraceFile, PathArg(path))};
    if (test.categories)
      args.push_back(SwitchArg(switches::kTraceCategories, test.categories));
    ChildRun run = RunTraceChild(args);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.output.find(test.expected_error), std::string::npos)
        << run.output;
    EXPECT_FALSE(PathExists(path));
  }
}

}  // namespace
}  // namespace trace_event
}  // namespace base
