#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/test/test_installer_steps.h"

namespace installer {
namespace test {

// The steps of one Installer's run: each runs as the Installer's step task
// and ends as a real step does. It watches the run's end, so that a wait
// still going then stops and never reaches the Installer again.
class TestStepFactory::Run : public base::win::ObjectWatcher::Delegate,
                             public InstallerObserver {
 public:
  Run(Installer* installer, const std::vector<TestStep>& steps)
      : installer_(installer), steps_(steps) {
    installer_->AddObserver(this);
  }

  // InstallerObserver: the endings stop a wait.
  void OnStarted() override {}
  void OnStartingNewMainProcess(bool value) override {}
  void OnReturnedToPreviousMainProcess() override {}
  void OnTotalSteps(uint32_t count) override {}
  void OnStep() override {}
  void OnError(uint32_t string_id, const std::u16string& text,
               const std::string& detail) override {}
  void OnSuccess() override { watcher_.StopWatching(); }
  void OnInstallerTerminated(bool success) override { watcher_.StopWatching(); }

  std::vector<base::Closure> Build() {
    std::vector<base::Closure> closures;
    for (size_t i = 0; i < steps_.size(); ++i) {
      if (steps_[i].kind == TestStep::kCopyListedFiles) {
        closures.push_back(base::Bind(&Run::CopyFile, this, i, size_t{0}));
      } else {
        closures.push_back(base::Bind(&Run::RunStep, this, i));
      }
    }
    return closures;
  }

  // base::win::ObjectWatcher::Delegate: the awaited event came; the step
  // ends in a task of its own, which does nothing once the run has ended.
  void OnObjectSignaled(HANDLE object) override {
    installer_->PostStepTask(CURRENT_LOCATION,
                             base::Bind(&Run::EndStep, this, waiting_step_));
  }

 private:
  void RunStep(size_t index) {
    const TestStep& step = steps_[index];
    switch (step.kind) {
      case TestStep::kSetValue:
      case TestStep::kRemoveValue: {
        const bool set = step.kind == TestStep::kSetValue;
        const DWORD size =
            static_cast<DWORD>((step.data.size() + 1) * sizeof(char16_t));
        if (!installer_->RunOperation(std::make_unique<ChangeRegValueOperation>(
                HKEY_CURRENT_USER, step.path, step.name,
                set ? step.data.c_str() : nullptr,
                set ? REG_SZ : ChangeRegValueOperation::kNoValue,
                set ? size : 0))) {
          LOG(ERROR) << installer_->ReportError(kIdsInstallError, u"",
                                                "Failed changing a value");
          return;
        }
        return EndStep(index);
      }
      case TestStep::kFail:
        LOG(ERROR) << installer_->ReportError(step.id, step.data,
                                              base::UTF16ToUTF8(step.name));
        return;
      case TestStep::kWaitForEvent: {
        event_.Set(OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(step.path)));
        waiting_step_ = index;
        if (!event_.IsValid() ||
            !watcher_.StartWatchingOnce(event_.Get(), this)) {
          LOG(ERROR) << installer_->ReportError(kIdsInstallError, u"",
                                                "Cannot wait for the event");
          return;
        }
        if (!step.name.empty()) {
          base::win::ScopedHandle ready(
              OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(step.name)));
          if (ready.IsValid()) SetEvent(ready.Get());
        }
        return;
      }
      case TestStep::kCopyListedFiles:
        break;
    }
  }

  void CopyFile(size_t index, size_t file) {
    const std::vector<std::string>& files = installer_->files_list();
    const base::FilePath relative(base::UTF8ToUTF16(files[file]));
    const base::FilePath source =
        installer_->own_directory().Append(relative.value());
    const base::FilePath destination =
        base::FilePath(steps_[index].path).Append(relative.value());
    if (!installer_->RunOperation(
            std::make_unique<CopyFileOperation>(source, destination))) {
      LOG(ERROR) << installer_->ReportError(kIdsCopyFailed, destination.value(),
                                            "Failed copying " + files[file]);
      return;
    }
    if (file + 1 == files.size()) return EndStep(index);
    installer_->observers()->Notify(&InstallerObserver::OnStep);
    installer_->PostStepTask(CURRENT_LOCATION,
                             base::Bind(&Run::CopyFile, this, index, file + 1));
  }

  void EndStep(size_t index) {
    if (index + 1 == steps_.size())
      installer_->ReportSuccess();
    else
      installer_->ScheduleNextStep();
  }

  Installer* const installer_;
  const std::vector<TestStep>& steps_;
  base::win::ScopedHandle event_;
  base::win::ObjectWatcher watcher_;
  size_t waiting_step_ = 0;
};

bool ParseTestSteps(const base::ListValue& list, std::vector<TestStep>* steps) {
  static constexpr struct {
    const char* name;
    TestStep::Kind kind;
  } kKinds[] = {{"copy_listed_files", TestStep::kCopyListedFiles},
                {"set_value", TestStep::kSetValue},
                {"remove_value", TestStep::kRemoveValue},
                {"fail", TestStep::kFail},
                {"wait_for_event", TestStep::kWaitForEvent}};
  steps->clear();
  for (size_t i = 0; i < list.GetSize(); ++i) {
    const base::DictionaryValue* entry = nullptr;
    std::string kind;
    if (!list.GetDictionary(i, &entry) || !entry->GetString("kind", &kind))
      return false;
    TestStep step = {};
    bool known = false;
    for (const auto& k : kKinds) {
      if (kind == k.name) {
        step.kind = k.kind;
        known = true;
      }
    }
    int id = 0;
    if (!known ||
        (entry->HasKey("path") && !entry->GetString("path", &step.path)) ||
        (entry->HasKey("name") && !entry->GetString("name", &step.name)) ||
        (entry->HasKey("data") && !entry->GetString("data", &step.data)) ||
        (entry->HasKey("id") && !entry->GetInteger("id", &id))) {
      return false;
    }
    step.id = static_cast<uint32_t>(id);
    steps->push_back(step);
  }
  return true;
}

TestStepFactory::TestStepFactory(std::vector<TestStep> steps)
    : steps_(std::move(steps)) {}

TestStepFactory::~TestStepFactory() = default;

std::vector<base::Closure> TestStepFactory::BuildSteps(
    Installer* installer, InstallationOperation operation) {
  runs_.push_back(std::make_unique<Run>(installer, steps_));
  return runs_.back()->Build();
}

}  // namespace test
}  // namespace installer
