#include "desktop/windows/crash_reporter/test/running_child_win.h"

#include <sstream>

#include "base/process/launch.h"
#include "base/test/child_process_win.h"

namespace crash_reporter {
namespace test {

RunningChild::RunningChild() = default;

RunningChild::~RunningChild() {
  if (process_.IsValid()) process_.Terminate(1, /*wait=*/true);
}

bool RunningChild::Start(const std::u16string& command_line) {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  if (!CreatePipe(&read, &write, &inheritable, 0)) return false;
  output_.Set(read);
  base::win::ScopedHandle child_end(write);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);

  base::LaunchOptions options;
  options.inherit_handles = true;
  options.stdin_handle = GetStdHandle(STD_INPUT_HANDLE);
  options.stdout_handle = child_end.Get();
  options.stderr_handle = GetStdHandle(STD_ERROR_HANDLE);
  process_ = base::LaunchProcess(command_line, options);
  return process_.IsValid();
}

bool RunningChild::ReadLine(std::string* line) {
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      *line = pending_.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      pending_.erase(0, end + 1);
      return true;
    }
    char buffer[256];
    DWORD read = 0;
    if (!ReadFile(output_.Get(), buffer, sizeof(buffer), &read, nullptr) ||
        read == 0) {
      return false;
    }
    pending_.append(buffer, read);
  }
}

std::vector<uint64_t> RunningChild::ReadNumbers() {
  std::vector<uint64_t> numbers;
  std::string line;
  if (!ReadLine(&line)) return numbers;
  std::istringstream stream(line);
  uint64_t number;
  while (stream >> number) numbers.push_back(number);
  return numbers;
}

std::u16string BesideTestExecutable(const char16_t* file_name) {
  return base::GetTestExecutableFolder() + file_name;
}

bool StartSnapshotChild(RunningChild* child, SnapshotChildCrash* crash) {
  if (!child->Start(u"\"" + BesideTestExecutable(u"snapshot_test_child.exe") +
                    u"\"")) {
    return false;
  }
  const std::vector<uint64_t> numbers = child->ReadNumbers();
  if (numbers.size() != 4) return false;
  *crash = {numbers[0], numbers[1], static_cast<uint32_t>(numbers[2]),
            numbers[3]};
  return true;
}

}  // namespace test
}  // namespace crash_reporter
