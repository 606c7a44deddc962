// The crash reporter down the whole road, with real processes: an installer
// process tree of crash_reporter_test_host.exe, its real reporter, and the
// local upload server.

#include <stdlib.h>
#include <string.h>
#include <windows.h>
// Needs windows.h first.
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <list>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_native_libraries_first_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/crash_reporter_paths.h"
#include "desktop/windows/crash_reporter/minidump_writer_win.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"
#include "desktop/windows/crash_reporter/test/crash_reporter_test_host_switches.h"
#include "desktop/windows/crash_reporter/test/minidump_test_util_win.h"
#include "desktop/windows/crash_reporter/test/running_child_win.h"
#include "desktop/windows/crash_reporter/test/scoped_environment_win.h"
#include "desktop/windows/crash_reporter/test/scoped_last_reporter_crash_win.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"
#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

using test::CrashUploadTestServer;
using test::RecordedPart;
using test::RecordedRequest;
using test::RunningChild;
using test::ScopedEnvironment;

constexpr DWORD kProcessTimeoutMs = 120000;
// How long the hosts' crashed processes wait for their reporters: longer
// than the test waits for any process, so that a process that ends was
// released by its reporter, however slowly the machine wrote the dump.
constexpr DWORD kReportWaitMs = 240000;
constexpr char kAlternativeCrashLoggingSwitch[] =
    "with-feature:alternative-crash-logging";

// The values the host prints, in order: "<label> <decimal>".
struct HostOutput {
  std::vector<std::pair<std::string, uint64_t>> lines;

  uint64_t Value(const std::string& label) const {
    for (const auto& [name, value] : lines)
      if (name == label) return value;
    return 0;
  }
};

// Reads lines until |label| has been printed; false when the output ends.
bool ReadUntil(RunningChild* child, const std::string& label,
               HostOutput* output) {
  std::string line;
  while (child->ReadLine(&line)) {
    const size_t blank = line.find(' ');
    uint64_t value = 0;
    if (blank == std::string::npos ||
        !base::StringToUint64(line.substr(blank + 1), &value)) {
      continue;
    }
    output->lines.emplace_back(line.substr(0, blank), value);
    if (output->lines.back().first == label) return true;
  }
  return false;
}

DWORD WaitForExit(HANDLE process) {
  DWORD exit_code = STILL_ACTIVE;
  if (WaitForSingleObject(process, kProcessTimeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(process, &exit_code);
  return exit_code;
}

// A process's id and the span it ran, in FILETIME units.
struct ProcessLife {
  uint32_t pid = 0;
  uint64_t created = 0;
  uint64_t exited = 0;
};

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

// The life of the ended |process|; all zero when the system cannot tell.
ProcessLife LifeOf(HANDLE process, uint32_t pid) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  ProcessLife life;
  if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    life.pid = pid;
    life.created = FileTimeValue(created);
    life.exited = FileTimeValue(exited);
  }
  return life;
}

// Waits for the end of every process that |parent| started. Their snapshot
// entries keep the parent's id after its end, and the system soon gives
// that id to another process: only a process started while the parent ran
// is its child.
bool WaitForChildrenOf(const ProcessLife& parent) {
  if (parent.pid == 0) return false;
  base::win::ScopedHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID != parent.pid) continue;
    base::win::ScopedHandle child(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                    entry.th32ProcessID));
    if (!child.IsValid()) continue;
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(child.Get(), &created, &exited, &kernel, &user) ||
        FileTimeValue(created) < parent.created ||
        FileTimeValue(created) > parent.exited) {
      continue;
    }
    if (WaitForSingleObject(child.Get(), kProcessTimeoutMs) != WAIT_OBJECT_0)
      return false;
  }
  return true;
}

bool WaitForRequests(const CrashUploadTestServer& server, size_t count) {
  for (DWORD i = 0; i < kProcessTimeoutMs / 50; ++i) {
    if (server.Requests().size() >= count) return true;
    Sleep(50);
  }
  return false;
}

std::vector<RecordedRequest> RequestsWith(const CrashUploadTestServer& server,
                                          const char* method) {
  std::vector<RecordedRequest> matching;
  for (const RecordedRequest& request : server.Requests())
    if (request.method == method) matching.push_back(request);
  return matching;
}

const RecordedPart* Part(const RecordedRequest& request,
                         const std::string& name) {
  for (const RecordedPart& part : request.parts)
    if (part.name == name) return &part;
  return nullptr;
}

std::string PartData(const RecordedRequest& request, const std::string& name) {
  const RecordedPart* part = Part(request, name);
  return part ? part->data : "<absent>";
}

std::set<std::u16string> FileNames(const base::FilePath& folder) {
  std::set<std::u16string> names;
  base::FileEnumerator files(folder, false, base::FileEnumerator::FILES);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next())
    names.insert(path.BaseName().value());
  return names;
}

// The one name among |names| of a dump of crash |n| whose names start with
// |prefix|: the number, a "-", 16 random hexadecimal digits, ".dmp". Empty
// when there is none or more than one.
std::u16string DumpName(const std::set<std::u16string>& names,
                        const std::u16string& prefix, int n) {
  const std::u16string start = prefix + base::IntToString16(n) + u"-";
  std::u16string found;
  for (const std::u16string& name : names) {
    if (name.size() != start.size() + 16 + 4 || name.find(start) != 0 ||
        !base::EndsWith16(name, u".dmp", 1)) {
      continue;
    }
    if (!found.empty()) return std::u16string();
    found = name;
  }
  return found;
}

std::string ReadWhole(const base::FilePath& path) {
  std::string text;
  base::FileUtil::ReadFileToString(path, &text);
  return text;
}

// Every line of a text crash log up to its "Crash Logger:" section matches
// one of the formats of the log, and ends with CR LF.
void ExpectLogFormat(const std::string& log) {
  static const char* const kFormats[] = {
      R"(VELNA-CRASHLOG V1 desktop\S* [0-9.]+ [0-9]+ windows x64 release)",
      R"(\S.* caused exception [0-9A-F]+ at address [0-9A-F]{12,} )"
      R"(\(Base: [0-9A-F]{12,}\))",
      R"()",
      R"(metadata:)",
      R"([A-Za-z0-9._-]+=".*")",
      R"(Thread: [0-9A-F]{8})",
      R"(ThreadInfo: [0-9A-F]{8})",
      R"(Priority=[0-9A-F]{8})",
      R"(Crashed=[01])",
      R"(checked_(context|stack)_values=[0-9]+( \(all\))?)",
      R"((Registers|FPU stack|Stack dump): [0-9A-F]{8})",
      R"(( R8|R[A-Z0-9]{2})=[0-9A-F]{16} {3,4}(R9|R[A-Z0-9]{2})=[0-9A-F]{16} {3})"
      R"((R[A-Z0-9]{2})=[0-9A-F]{16})",
      R"(RSP=[0-9A-F]{16} {3}RIP=[0-9A-F]{16} FLAGS=[0-9A-F]{8})",
      R"((st\([0-7]\)=[0-9A-F]{20} ?){2,3}( SW=[0-9A-F]{4} CW=[0-9A-F]{4})?)",
      R"( ?XMM[0-9]{1,2}=[0-9A-F]{32}  ? ?XMM[0-9]{1,2}=[0-9A-F]{32})",
      R"([0-9A-F]{12} ([ >][0-9A-F]{16} | {18}){2} .{1,16})",
      R"(Used DLLs:)",
      R"(.{26,} .{46,} Base: [0-9A-F]{12} Size: [0-9A-F]{8} )"
      R"(Timestamp: [0-9A-F]{8})",
      R"(Memory dumps:)",
      R"([0-9A-F]{12}(( {1,2}[0-9A-F]{2})|( {1,2}  )){16} .{1,16})",
  };
  std::vector<std::regex> formats;
  for (const char* format : kFormats) formats.emplace_back(format);
  size_t start = 0;
  size_t checked = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    const std::string line = log.substr(start, end - start);
    if (line == "Crash Logger:") break;
    ASSERT_EQ(std::string::npos, line.find('\n')) << "a bare line end";
    bool matched = false;
    for (const std::regex& format : formats)
      matched = matched || std::regex_match(line, format);
    EXPECT_TRUE(matched) << "line " << checked + 1 << ": '" << line << "'";
    ++checked;
  }
  EXPECT_GT(checked, 100u);
}

class CrashReporterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    profile_ = temp_.GetPath().Append(u"profile");
    logs_ = temp_.GetPath().Append(u"logs");
    // A temporary folder that is not ASCII, as under a user name with an
    // accent: the own-crash files are written there.
    host_temp_ = temp_.GetPath().Append(u"temp \u00e9\u4e2d");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(host_temp_));
  }

  // Starts the servers and sets the host's environment.
  void StartServers(const std::vector<std::string>& crash_server_answers,
                    bool keep_logs) {
    ASSERT_TRUE(crash_server_.Start(crash_server_answers));
    ASSERT_TRUE(collector_.Start({"200"}));
    const std::u16string crash_url = crash_server_.Url("/crash");
    const std::u16string collector_url = collector_.Url("/collector/submit");
    environment_.emplace_back(kCrashServerUrlVariable, crash_url.c_str());
    environment_.emplace_back(kAlternativeCrashServerUrlVariable,
                              collector_url.c_str());
    environment_.emplace_back(kCrashLogDirVariable, logs_.value().c_str());
    environment_.emplace_back(kCrashOriginVariable, kInternalCrashToolOrigin);
    environment_.emplace_back(u"VELNA_CRASH_KEEP_LOGS",
                              keep_logs ? u"1" : nullptr);
    environment_.emplace_back(u"VELNA_CRASH_EMAIL", nullptr);
    environment_.emplace_back(kCrashTestVariable, nullptr);
    // The reporter's own log and own-crash files go to the test's folder.
    environment_.emplace_back(u"TMP", host_temp_.value().c_str());
    environment_.emplace_back(u"TEMP", host_temp_.value().c_str());
  }

  std::u16string HostCommandLine(
      const std::vector<std::pair<std::string, std::u16string>>& switches,
      const base::FilePath& program = base::FilePath(
          test::BesideTestExecutable(test::kReporterHostFileName))) {
    base::CommandLine command_line =
        base::CommandLine::CommandLineFromProgram(program);
    command_line.AppendSwitchPath(kUserDataDirSwitch, profile_);
    command_line.AppendSwitchASCII(kAlternativeCrashLoggingSwitch, "on");
    command_line.AppendSwitchASCII(test::kReportWait,
                                   base::UintToString(kReportWaitMs));
    for (const auto& [name, value] : switches) {
      if (value.empty())
        command_line.AppendSwitch(name);
      else
        command_line.AppendSwitchNative(name, value);
    }
    return command_line.GetCommandLineString();
  }

  // Runs a host that crashes once |plant| has been called with its
  // reporter's pid, and answers the reporter's own log once it has ended.
  std::string CrashAfterPlanting(
      const std::function<void(uint32_t reporter_pid)>& plant) {
    const std::u16string event_name =
        u"Local\\VelnaCrashPlantTest" +
        base::UintToString16(GetCurrentProcessId());
    base::win::ScopedHandle go(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_name)));
    RunningChild host;
    HostOutput output;
    if (!go.IsValid() ||
        !host.Start(HostCommandLine(
            {{test::kCrash, u"null-write"}, {test::kWaitEvent, event_name}})) ||
        !ReadUntil(&host, test::kReporterLabel, &output)) {
      ADD_FAILURE() << "The host did not start";
      return std::string();
    }
    const uint32_t reporter_pid =
        static_cast<uint32_t>(output.Value(test::kReporterLabel));
    base::win::ScopedHandle reporter(OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, reporter_pid));
    EXPECT_TRUE(reporter.IsValid());
    plant(reporter_pid);
    SetEvent(go.Get());
    EXPECT_EQ(0xC0000005u, WaitForExit(host.handle()));
    EXPECT_EQ(0u, WaitForExit(reporter.Get()));
    return ReadWhole(host_temp_.Append(u"velna_crashreporter.log"));
  }

  base::ScopedTempDir temp_;
  base::FilePath profile_;
  base::FilePath logs_;
  base::FilePath host_temp_;
  CrashUploadTestServer crash_server_;
  CrashUploadTestServer collector_;
  std::list<ScopedEnvironment> environment_;
};

// Two crashes of an installer process tree: a child that writes to null,
// then its parent at a failed check of its own (a FATAL log line).
TEST_F(CrashReporterTest, TwoCrashesDownTheWholeRoad) {
  StartServers({"303 ?id=abc&x=1", "200", "503"}, /*keep_logs=*/true);
  const std::u16string event_name = u"Local\\VelnaCrashReporterTest" +
                                    base::UintToString16(GetCurrentProcessId());
  base::win::ScopedHandle go(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_name)));
  ASSERT_TRUE(go.IsValid());

  RunningChild host;
  ASSERT_TRUE(host.Start(HostCommandLine({{test::kChild, u"null-write"},
                                          {test::kCrash, u"fatal-log"},
                                          {test::kWaitEvent, event_name}})));
  HostOutput output;
  ASSERT_TRUE(ReadUntil(&host, test::kReporterLabel, &output));
  const uint32_t reporter_pid =
      static_cast<uint32_t>(output.Value(test::kReporterLabel));
  ASSERT_NE(0u, reporter_pid);
  base::win::ScopedHandle reporter(OpenProcess(
      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, reporter_pid));
  ASSERT_TRUE(reporter.IsValid());

  // Crash 1: the child's null write.
  ASSERT_TRUE(ReadUntil(&host, test::kChildExitLabel, &output));
  EXPECT_EQ(0xC0000005u, output.Value(test::kChildExitLabel));
  const uint32_t child_thread =
      static_cast<uint32_t>(output.Value(test::kChildThreadLabel));
  // Its duplicate check, text log and minidump have arrived before the
  // parent crashes, so that the answers come in a known order.
  ASSERT_TRUE(WaitForRequests(crash_server_, 2));
  ASSERT_TRUE(WaitForRequests(collector_, 1));

  // Crash 2: the parent's failed check.
  SetEvent(go.Get());
  ASSERT_TRUE(ReadUntil(&host, test::kThreadLabel, &output));
  const uint32_t parent_thread =
      static_cast<uint32_t>(output.Value(test::kThreadLabel));
  EXPECT_EQ(0x80000003u, WaitForExit(host.handle()));
  // The reporter ends once its parent has ended and the uploads are done.
  EXPECT_EQ(0u, WaitForExit(reporter.Get()));

  // Files, kept.
  const std::u16string prefix =
      u"velna-crashlog-" + base::UintToString16(reporter_pid) + u"-";
  const std::set<std::u16string> names = FileNames(logs_);
  for (const char16_t* suffix : {u"1.txt", u"2.txt"})
    EXPECT_EQ(1u, names.count(prefix + suffix)) << base::UTF16ToUTF8(suffix);
  const std::u16string dump_name1 = DumpName(names, prefix, 1);
  const std::u16string dump_name2 = DumpName(names, prefix, 2);
  EXPECT_FALSE(dump_name1.empty());
  EXPECT_FALSE(dump_name2.empty());
  EXPECT_EQ(0u, names.count(prefix + u"1.zip"));

  // The text logs.
  const std::string log1 = ReadWhole(logs_.Append(prefix + u"1.txt"));
  const std::string log2 = ReadWhole(logs_.Append(prefix + u"2.txt"));
  ExpectLogFormat(log1);
  ExpectLogFormat(log2);
  EXPECT_EQ(0u, log1.find("VELNA-CRASHLOG V1 desktop " +
                          installer::VersionInfo::GetProductVersion() +
                          " 730997 windows x64 release\r\n"));
  EXPECT_NE(std::string::npos,
            base::ToLowerASCII(log1).find(
                "\r\ncrash_reporter_test_host.exe caused exception c0000005 "));
  EXPECT_NE(std::string::npos, log2.find(" caused exception 80000003 "));
  for (const std::string* log : {&log1, &log2}) {
    EXPECT_NE(std::string::npos,
              log->find("\r\nmetadata:\r\nprocess_type=\"installer\"\r\n"));
    EXPECT_EQ(std::string::npos, log->find("ptime"));
    EXPECT_NE(std::string::npos, log->find("\r\nUsed DLLs:\r\n"));
    EXPECT_NE(std::string::npos, base::ToLowerASCII(*log).find(
                                     "\r\ncrash_reporter_test_host.exe "));
    EXPECT_NE(std::string::npos, log->find("\r\nMemory dumps:\r\n"));
    EXPECT_NE(std::string::npos, log->find("\r\nRegisters: "));
  }
  EXPECT_NE(std::string::npos,
            log1.find(base::StringPrintf("\r\nThreadInfo: %08X\r\nPriority=",
                                         child_thread)));
  const size_t crashed_thread = log1.find("\r\nCrashed=1\r\n");
  EXPECT_NE(std::string::npos, crashed_thread);
  EXPECT_LT(log1.find(base::StringPrintf("ThreadInfo: %08X", child_thread)),
            crashed_thread);
  EXPECT_NE(std::string::npos, log2.find(base::StringPrintf(
                                   "\r\nThreadInfo: %08X\r\n", parent_thread)));

  // The minidumps.
  const std::string version_stream =
      installer::VersionInfo::GetProductVersion() + " 730997";
  const test::MinidumpContents dump1 =
      test::ReadMinidumpFile(logs_.Append(dump_name1));
  ASSERT_TRUE(dump1.has_exception);
  EXPECT_EQ(0xC0000005u, dump1.code);
  EXPECT_EQ(child_thread, dump1.thread_id);
  EXPECT_EQ(version_stream, dump1.version);
  const test::MinidumpContents dump2 =
      test::ReadMinidumpFile(logs_.Append(dump_name2));
  ASSERT_TRUE(dump2.has_exception);
  EXPECT_EQ(0x80000003u, dump2.code);
  EXPECT_EQ(parent_thread, dump2.thread_id);

  // The duplicate checks, and crash 1's text log with the known id; crash 2
  // sends no text log after its 503.
  const std::vector<RecordedRequest> checks =
      RequestsWith(crash_server_, "GET");
  ASSERT_EQ(2u, checks.size());
  for (const RecordedRequest& check : checks) {
    ASSERT_TRUE(check.Header("X-Origin"));
    EXPECT_EQ("VelnaCrashLab", *check.Header("X-Origin"));
  }
  const std::vector<RecordedRequest> logs = RequestsWith(crash_server_, "POST");
  ASSERT_EQ(1u, logs.size());
  EXPECT_EQ("abc", PartData(logs[0], "stacktraceId"));
  EXPECT_EQ("VelnaCrashLab", PartData(logs[0], "origin"));
  const base::FilePath zip = temp_.GetPath().Append(u"uploaded.zip");
  ASSERT_EQ(static_cast<int>(PartData(logs[0], "file").size()),
            base::WriteBufferToFile(
                zip, PartData(logs[0], "file").data(),
                static_cast<int>(PartData(logs[0], "file").size())));
  std::string entry_name;
  std::string entry;
  ASSERT_TRUE(test::ReadOnlyZipEntry(zip, &entry_name, &entry));
  EXPECT_EQ("crashlog.txt", entry_name);
  EXPECT_EQ(log1, entry);

  // Both minidumps, gzipped.
  const std::vector<RecordedRequest> dumps = RequestsWith(collector_, "POST");
  ASSERT_EQ(2u, dumps.size());
  for (const RecordedRequest& dump : dumps) {
    ASSERT_TRUE(dump.Header("Content-Encoding"));
    EXPECT_EQ("gzip", *dump.Header("Content-Encoding"));
    EXPECT_TRUE(dump.gzip_decoded);
    EXPECT_EQ("VelnaDesktop", PartData(dump, "ProductName"));
    EXPECT_EQ("installer", PartData(dump, "ProcessType"));
    EXPECT_EQ("20161012259766", PartData(dump, "BuildID"));
    EXPECT_EQ("VelnaCrashLab", PartData(dump, "Origin"));
    uint64_t crash_time = 0;
    uint64_t startup_time = 0;
    EXPECT_TRUE(base::StringToUint64(PartData(dump, "CrashTime"), &crash_time));
    EXPECT_TRUE(
        base::StringToUint64(PartData(dump, "StartupTime"), &startup_time));
    EXPECT_GE(crash_time, startup_time);
    ASSERT_TRUE(Part(dump, "upload_file_minidump"));
    EXPECT_EQ(0u, Part(dump, "upload_file_minidump")->data.find("MDMP"));
  }

  // Bookkeeping: crash 1's location under the GUID stand-in, the counts.
  EXPECT_EQ(
      "0=?id=abc&x=1",
      ReadWhole(logs_.Append(u"crash_id_map-" +
                             base::UintToString16(reporter_pid) + u"-1.txt")));
  EXPECT_FALSE(base::PathExists(logs_.Append(
      u"crash_id_map-" + base::UintToString16(reporter_pid) + u"-2.txt")));
  EXPECT_EQ(R"({"installer":2})",
            ReadWhole(profile_.Append(kCrashCountersFileName)));
}

// The reporter runs from the installer's folder, often Downloads: a
// dbghelp.dll planted there is never loaded when it writes a minidump.
TEST_F(CrashReporterTest, DbghelpPlantedBesideTheReporterIsNeverLoaded) {
  StartServers({"200"}, /*keep_logs=*/true);
  const base::FilePath folder = temp_.GetPath().Append(u"downloads");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  // A name of this test's own: it carries the Wine settings below.
  const std::u16string name = u"planted_reporter_host_" +
                              base::UintToString16(GetCurrentProcessId()) +
                              u".exe";
  const base::FilePath host = folder.Append(name);
  ASSERT_TRUE(base::CopyOneFile(
      base::FilePath(test::BesideTestExecutable(test::kReporterHostFileName)),
      host));
  // The build's path as Wine names it.
  std::u16string planted = u"Z:" + base::UTF8ToUTF16(VELNA_PLANTED_MODULE);
  std::replace(planted.begin(), planted.end(), u'/', u'\\');
  ASSERT_TRUE(base::CopyOneFile(base::FilePath(planted),
                                folder.Append(u"dbghelp.dll")));
  const base::FilePath marker = temp_.GetPath().Append(u"marker.txt");
  base::ScopedNativeLibrariesFirst native_first(name, {u"dbghelp.dll"});
  ASSERT_TRUE(native_first.ok());

  std::string printed;
  DWORD exit_code = 0;
  ASSERT_TRUE(base::RunChildProcess(
      HostCommandLine({{test::kCrash, u"null-write"}}, host),
      {{u"VELNA_TEST_MARKER", marker.value()}}, &printed, &exit_code));
  EXPECT_EQ(0xC0000005u, exit_code);
  const size_t label = printed.find(std::string(test::kReporterLabel) + " ");
  ASSERT_NE(std::string::npos, label) << printed;
  const uint32_t reporter_pid = static_cast<uint32_t>(
      atoi(printed.c_str() + label + strlen(test::kReporterLabel) + 1));
  base::win::ScopedHandle reporter(OpenProcess(
      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, reporter_pid));
  // Gone already, or ending once its uploads are done.
  if (reporter.IsValid()) {
    EXPECT_EQ(0u, WaitForExit(reporter.Get()));
  }

  // The minidump was written, with the system's dbghelp.
  const std::u16string prefix =
      u"velna-crashlog-" + base::UintToString16(reporter_pid) + u"-";
  EXPECT_FALSE(DumpName(FileNames(logs_), prefix, 1).empty());
  EXPECT_EQ("", ReadWhole(marker));
}

// The crash folder may be one that others write. A second name of a
// secret file planted at the name of a crash's text log stays as it is:
// the reporter writes neither log nor dump and says why in its own log.
TEST_F(CrashReporterTest, ALinkPlantedAtTheLogsNameStays) {
  StartServers({"200"}, /*keep_logs=*/true);
  const base::FilePath secret = temp_.GetPath().Append(u"secret.txt");
  ASSERT_EQ(6, base::WriteBufferToFile(secret, "secret", 6));
  std::u16string log_name;
  const std::string reporter_log = CrashAfterPlanting([&](uint32_t pid) {
    log_name = u"velna-crashlog-" + base::UintToString16(pid) + u"-1.txt";
    ASSERT_TRUE(base::FileUtil::CreateDirectory(logs_));
    ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(logs_.Append(log_name).value()),
                                base::as_wcstr(secret.value()), nullptr));
  });
  EXPECT_EQ("secret", ReadWhole(secret));
  EXPECT_EQ("secret", ReadWhole(logs_.Append(log_name)));
  EXPECT_NE(std::string::npos,
            reporter_log.find("Could not create the crash log "))
      << reporter_log;
  EXPECT_EQ(std::set<std::u16string>{log_name}, FileNames(logs_));
  EXPECT_EQ(0u, crash_server_.Requests().size());
}

// So does a file, or a second name of a secret file, planted at the name of
// the crash-id map: the log is written and sent, the map is not.
TEST_F(CrashReporterTest, FilesPlantedAtTheMapsNameStay) {
  StartServers({"303 ?id=abc&x=1", "200", "303 ?id=def&x=1", "200"},
               /*keep_logs=*/true);
  const base::FilePath secret = temp_.GetPath().Append(u"secret.txt");
  ASSERT_EQ(6, base::WriteBufferToFile(secret, "secret", 6));
  for (const bool hard_link : {false, true}) {
    SCOPED_TRACE(hard_link ? "a hard link" : "a file");
    base::FilePath map;
    const std::string reporter_log = CrashAfterPlanting([&](uint32_t pid) {
      map = logs_.Append(u"crash_id_map-" + base::UintToString16(pid) +
                         u"-1.txt");
      ASSERT_TRUE(base::FileUtil::CreateDirectory(logs_));
      if (hard_link) {
        ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(map.value()),
                                    base::as_wcstr(secret.value()), nullptr));
      } else {
        ASSERT_EQ(7, base::WriteBufferToFile(map, "planted", 7));
      }
    });
    EXPECT_EQ(hard_link ? "secret" : "planted", ReadWhole(map));
    EXPECT_EQ("secret", ReadWhole(secret));
    EXPECT_NE(std::string::npos,
              reporter_log.find("Could not open the crash-id map "))
        << reporter_log;
  }
  // Both logs were sent.
  EXPECT_EQ(2u, RequestsWith(crash_server_, "POST").size());
}

TEST_F(CrashReporterTest, WithoutKeepLogsNothingRemains) {
  StartServers({"200"}, /*keep_logs=*/false);
  RunningChild host;
  ASSERT_TRUE(host.Start(HostCommandLine({{test::kCrash, u"null-write"}})));
  HostOutput output;
  ASSERT_TRUE(ReadUntil(&host, test::kReporterLabel, &output));
  base::win::ScopedHandle reporter(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                  static_cast<DWORD>(output.Value(test::kReporterLabel))));
  ASSERT_TRUE(reporter.IsValid());
  EXPECT_EQ(0xC0000005u, WaitForExit(host.handle()));
  EXPECT_EQ(0u, WaitForExit(reporter.Get()));
  // Uploaded: the duplicate check, the log and the dump; then deleted.
  EXPECT_EQ(2u, crash_server_.Requests().size());
  EXPECT_EQ(1u, collector_.Requests().size());
  for (const std::u16string& name : FileNames(logs_)) {
    EXPECT_FALSE(base::EndsWith16(name, u".txt", 1) ||
                 base::EndsWith16(name, u".dmp", 1) ||
                 base::EndsWith16(name, u".zip", 1))
        << base::UTF16ToUTF8(name);
  }
}

TEST_F(CrashReporterTest, NoReporterWhileMetricsReportingIsOff) {
  StartServers({"200"}, /*keep_logs=*/false);
  ASSERT_TRUE(base::FileUtil::CreateDirectory(profile_));
  const std::string state =
      R"({"user_experience_metrics":{"reporting_enabled":false}})";
  ASSERT_EQ(
      static_cast<int>(state.size()),
      base::WriteBufferToFile(profile_.Append(kBrowserStateFileName),
                              state.data(), static_cast<int>(state.size())));
  RunningChild host;
  ASSERT_TRUE(host.Start(HostCommandLine({{test::kCrash, u"none"}})));
  HostOutput output;
  ASSERT_TRUE(ReadUntil(&host, test::kReporterLabel, &output));
  EXPECT_EQ(0u, output.Value(test::kReporterLabel));
  EXPECT_EQ(0u, WaitForExit(host.handle()));
  EXPECT_TRUE(crash_server_.Requests().empty());
}

// The reporter's own crashes, reported by a second instance of it.
class CrashReporterOwnCrashTest : public CrashReporterTest {
 protected:
  // Starts the host as a reporter of this process that crashes as told,
  // and waits for its end; returns its exit code, how long it took and its
  // process id.
  DWORD RunCrashingReporter(const char16_t* mode, base::TimeDelta* took,
                            ProcessLife* life = nullptr) {
    const base::TimeTicks start = base::TimeTicks::Now();
    RunningChild reporter;
    EXPECT_TRUE(reporter.Start(
        HostCommandLine({{installer::switches::kCrashReporterParentId,
                          base::UintToString16(GetCurrentProcessId())},
                         {test::kReporterCrash, mode},
                         {test::kOwnDumpLimit, u"8000000"}})));
    const DWORD exit_code = WaitForExit(reporter.handle());
    *took = base::TimeTicks::Now() - start;
    if (life) *life = LifeOf(reporter.handle(), reporter.pid());
    return exit_code;
  }

  bool WaitForStoredCrashTime(uint64_t old_value) {
    for (DWORD i = 0; i < kProcessTimeoutMs / 50; ++i) {
      if (last_crash_.Get() != old_value) return true;
      Sleep(50);
    }
    return false;
  }

  test::ScopedLastReporterCrash last_crash_;
};

TEST_F(CrashReporterOwnCrashTest, ReportedOnceInThreeDays) {
  StartServers({"200"}, /*keep_logs=*/false);
  last_crash_.Set(0);
  base::TimeDelta took;
  EXPECT_EQ(0xC0000005u, RunCrashingReporter(u"server", &took));
  ASSERT_TRUE(WaitForRequests(crash_server_, 1));
  ASSERT_TRUE(WaitForRequests(collector_, 1));
  ASSERT_TRUE(WaitForStoredCrashTime(0));
  const uint64_t now = base::Time::Now().ToFileTimeValue();
  EXPECT_LT(now - last_crash_.Get(), 600 * 10000000ull);

  // The text log, zipped, and the minidump as the reporter's.
  const RecordedRequest log = crash_server_.Requests()[0];
  EXPECT_EQ("POST", log.method);
  const base::FilePath zip = temp_.GetPath().Append(u"own.zip");
  const std::string zip_data = PartData(log, "file");
  ASSERT_EQ(static_cast<int>(zip_data.size()),
            base::WriteBufferToFile(zip, zip_data.data(),
                                    static_cast<int>(zip_data.size())));
  std::string entry_name;
  std::string text;
  ASSERT_TRUE(test::ReadOnlyZipEntry(zip, &entry_name, &text));
  EXPECT_NE(std::string::npos,
            text.find("\r\nmetadata:\r\nprocess_type=\"crash_reporter\"\r\n"));
  EXPECT_NE(std::string::npos, text.find(" caused exception C0000005 "));
  EXPECT_NE(std::string::npos, text.find("\r\nCrashed=1\r\n"));
  const RecordedRequest dump = collector_.Requests()[0];
  EXPECT_EQ("crash_reporter", PartData(dump, "ProcessType"));
  EXPECT_EQ("VelnaDesktop", PartData(dump, "ProductName"));
  EXPECT_EQ(R"({"crash_reporter":1})",
            ReadWhole(profile_.Append(kCrashCountersFileName)));
  // The files were deleted after their upload.
  for (const std::u16string& name : FileNames(host_temp_))
    EXPECT_EQ(std::u16string::npos, name.find(u"-crashlog-"))
        << base::UTF16ToUTF8(name);

  // A second crash within three days is not reported, and the crashed
  // reporter is released at once.
  const uint64_t stored = last_crash_.Get();
  ProcessLife crashed;
  EXPECT_EQ(0xC0000005u, RunCrashingReporter(u"server", &took, &crashed));
  EXPECT_LT(took, base::TimeDelta::FromMilliseconds(kReportWaitMs));
  // The reporting instance has ended, without a report.
  ASSERT_TRUE(WaitForChildrenOf(crashed));
  EXPECT_EQ(1u, crash_server_.Requests().size());
  EXPECT_EQ(1u, collector_.Requests().size());
  EXPECT_EQ(stored, last_crash_.Get());
}

// The handle verifier stops the process while it holds its lock: reporting
// that crash must not need the lock.
TEST_F(CrashReporterOwnCrashTest, AStopByTheHandleVerifierIsReported) {
  StartServers({"200"}, /*keep_logs=*/false);
  last_crash_.Set(0);
  base::TimeDelta took;
  EXPECT_EQ(static_cast<DWORD>(STATUS_ILLEGAL_INSTRUCTION),
            RunCrashingReporter(u"verifier", &took));
  ASSERT_TRUE(WaitForRequests(crash_server_, 1));
  ASSERT_TRUE(WaitForStoredCrashTime(0));
  const base::FilePath zip = temp_.GetPath().Append(u"verifier.zip");
  const std::string zip_data = PartData(crash_server_.Requests()[0], "file");
  ASSERT_EQ(static_cast<int>(zip_data.size()),
            base::WriteBufferToFile(zip, zip_data.data(),
                                    static_cast<int>(zip_data.size())));
  std::string entry_name;
  std::string text;
  ASSERT_TRUE(test::ReadOnlyZipEntry(zip, &entry_name, &text));
  EXPECT_NE(std::string::npos, text.find(" caused exception C000001D "));
}

TEST_F(CrashReporterOwnCrashTest, TheReportingInstanceCrashesToo) {
  StartServers({"200"}, /*keep_logs=*/false);
  last_crash_.Set(0);
  base::TimeDelta took;
  EXPECT_EQ(0xC0000005u, RunCrashingReporter(u"twice", &took));
  // The third instance sends the second one's log with its minidump inline,
  // not zipped; no separate minidump.
  ASSERT_TRUE(WaitForRequests(crash_server_, 1));
  ASSERT_TRUE(WaitForStoredCrashTime(0));
  const std::string text = PartData(crash_server_.Requests()[0], "file");
  EXPECT_EQ(0u, text.find("VELNA-CRASHLOG V1 desktop "));
  EXPECT_NE(std::string::npos,
            base::ToLowerASCII(text).find("crash_reporter_test_host.exe caused "
                                          "exception c0000005 at address "));
  EXPECT_NE(std::string::npos,
            text.find("(BASE: 00000000)\r\n\r\nmetadata:\r\n"
                      "process_type=\"crash_reporter\"\r\n\r\nminidump:\r\n"
                      "MDMP"));
  EXPECT_TRUE(collector_.Requests().empty());
}

}  // namespace

}  // namespace crash_reporter
