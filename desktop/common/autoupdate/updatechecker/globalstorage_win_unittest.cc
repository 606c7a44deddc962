// The global storage on the real registry, under a company name of the test
// process, with the real mutex (these tests run one at a time, since every
// process shares that mutex) and a second process that holds it.

#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage_fallback_file.h"
#include "desktop/common/autoupdate/updatechecker/test/mutex_holder.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/scoped_branding_value.h"
#include "gtest/gtest.h"

namespace autoupdate {
namespace {

using installer::test::ScopedLogCapture;

constexpr char kBusyLine[] = "[AU] GS: Couldn't get hold on an access mutex";
constexpr char kFallbackFailedLine[] =
    "[AU] GS: Writing to a fallback storage failed";

// Another process holding "vauc_registry_mutex" until Release().
class MutexHolder {
 public:
  explicit MutexHolder(bool abandon) : abandon_(abandon) {}
  ~MutexHolder() { Release(); }

  bool Start() {
    const std::u16string prefix = u"Local\\VelnaGsTest_" +
                                  base::UintToString16(GetCurrentProcessId()) +
                                  u"_" + base::UintToString16(GetTickCount());
    ready_.Set(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(prefix + u"_ready")));
    release_.Set(CreateEventW(nullptr, TRUE, FALSE,
                              base::as_wcstr(prefix + u"_release")));
    base::FilePath folder;
    base::PathService::Get(base::DIR_EXE, &folder);
    base::CommandLine command_line(
        folder.Append(u"globalstorage_test_child.exe"));
    command_line.AppendSwitchNative(test::kHolderMutex,
                                    kGlobalStorageMutexName);
    command_line.AppendSwitchNative(test::kHolderReadyEvent,
                                    prefix + u"_ready");
    command_line.AppendSwitchNative(test::kHolderReleaseEvent,
                                    prefix + u"_release");
    if (abandon_) command_line.AppendSwitch(test::kHolderAbandon);
    process_ =
        base::LaunchProcessFromCommandLine(command_line, base::LaunchOptions());
    return process_.IsValid() &&
           WaitForSingleObject(ready_.Get(), 30000) == WAIT_OBJECT_0;
  }

  // Lets the child end (abandoning the mutex when asked) and waits for it.
  void Release() {
    if (!process_.IsValid()) return;
    SetEvent(release_.Get());
    int exit_code = -1;
    process_.WaitForExitWithTimeout(30000, &exit_code);
    process_ = base::Process();
  }

 private:
  const bool abandon_;
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle release_;
  base::Process process_;
};

class GlobalStorageWinTest : public testing::Test {
 protected:
  GlobalStorageWinTest()
      : company_("VelnaTest" + base::UintToString(GetCurrentProcessId()) + "-" +
                 base::UintToString(GetTickCount())),
        scoped_company_("company_name", company_),
        company_key_(u"Software\\" + base::ASCIIToUTF16(company_)) {}

  void SetUp() override {
    ASSERT_EQ(company_key_, installer::GetCompanyRegistryPath());
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    fallback_file_ = temp_.GetPath().Append(kGlobalStorageFileName);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(company_key_));
  }

  // A storage whose decision sees |copy_only| and |open_result|.
  std::unique_ptr<GlobalStorageWin> MakeStorage(bool copy_only,
                                                LONG open_result) {
    auto storage = std::make_unique<GlobalStorageWin>(
        GlobalStorageWin::Environment{[copy_only] { return copy_only; },
                                      [open_result] { return open_result; }});
    storage->CheckRegistryUsable();
    return storage;
  }
  std::unique_ptr<GlobalStorageWin> MakeRegistryStorage() {
    return MakeStorage(false, ERROR_FILE_NOT_FOUND);
  }

  // The registry value |name| under the company key, as stored.
  installer::test::RawRegistryValue Raw(const std::u16string& name) {
    return installer::test::ReadRawRegistryValue(HKEY_CURRENT_USER,
                                                 company_key_, name);
  }
  std::vector<BYTE> Utf16Bytes(const std::u16string& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(bytes, bytes + text.size() * sizeof(char16_t));
  }
  void WriteFallbackFile(const std::string& json) {
    ASSERT_EQ(static_cast<int>(json.size()),
              base::WriteBufferToFile(fallback_file_, json.data(),
                                      static_cast<int>(json.size())));
  }
  std::string ReadFallbackFile() {
    std::string contents;
    base::FileUtil::ReadFileToString(fallback_file_, &contents);
    return contents;
  }

  base::MessageLoop loop_;
  const std::string company_;
  installer::test::ScopedBrandingValue scoped_company_;
  const std::u16string company_key_;
  base::ScopedTempDir temp_;
  base::FilePath fallback_file_;
};

TEST_F(GlobalStorageWinTest, InvalidArgumentsAndMissingValues) {
  std::unique_ptr<GlobalStorageWin> storage = MakeRegistryStorage();
  std::string out = "stale";
  EXPECT_EQ(kGlobalStorageInvalidArgument, storage->Get("", &out));
  EXPECT_EQ("", out);
  EXPECT_EQ(kGlobalStorageInvalidArgument, storage->Get("UUID", nullptr));
  EXPECT_EQ(kGlobalStorageInvalidArgument, storage->Set("", "v"));

  // No company key, then a key without the value.
  out = "stale";
  EXPECT_EQ(kGlobalStorageDone, storage->Get("UUID", &out));
  EXPECT_EQ("", out);
  ASSERT_EQ(kGlobalStorageDone, storage->Set("Other", "x"));
  out = "stale";
  EXPECT_EQ(kGlobalStorageDone, storage->Get("UUID", &out));
  EXPECT_EQ("", out);
}

TEST_F(GlobalStorageWinTest, ValuesAreStoredWithoutANul) {
  std::unique_ptr<GlobalStorageWin> storage = MakeRegistryStorage();
  for (const char* value : {"7f3a-uuid", "x", "two words"}) {
    SCOPED_TRACE(value);
    ASSERT_EQ(kGlobalStorageDone, storage->Set("UUID", value));
    installer::test::RawRegistryValue raw = Raw(u"UUID");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw.type);
    EXPECT_EQ(Utf16Bytes(base::ASCIIToUTF16(value)), raw.data);
    std::string out;
    EXPECT_EQ(kGlobalStorageDone, storage->Get("UUID", &out));
    EXPECT_EQ(value, out);
  }
  // A value a peer stored with its NUL reads the same.
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CURRENT_USER, base::as_wcstr(company_key_),
                            L"Peer", REG_SZ, L"peer", 10));
  std::string out;
  EXPECT_EQ(kGlobalStorageDone, storage->Get("Peer", &out));
  EXPECT_EQ("peer", out);

  // An empty value removes it; with no company key at all, too.
  EXPECT_EQ(kGlobalStorageDone, storage->Set("UUID", ""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Raw(u"UUID").result);
  ASSERT_EQ(ERROR_SUCCESS,
            RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(company_key_)));
  EXPECT_EQ(kGlobalStorageDone, storage->Set("UUID", ""));
  EXPECT_FALSE(
      installer::test::RegistryKeyExists(HKEY_CURRENT_USER, company_key_));
}

TEST_F(GlobalStorageWinTest, BusyWhileAnotherProcessHoldsTheMutex) {
  std::unique_ptr<GlobalStorageWin> storage = MakeRegistryStorage();
  {
    MutexHolder holder(false);
    ASSERT_TRUE(holder.Start());
    ScopedLogCapture log;
    EXPECT_EQ(kGlobalStorageBusy, storage->Set("UUID", "v"));
    EXPECT_TRUE(log.Has(logging::LOG_ERROR, kBusyLine));
    std::string out = "stale";
    EXPECT_EQ(kGlobalStorageBusy, storage->Get("UUID", &out));
    EXPECT_EQ("", out);
    // Only the write logs.
    EXPECT_EQ(1u, log.Messages(logging::LOG_ERROR).size());
    EXPECT_FALSE(
        installer::test::RegistryKeyExists(HKEY_CURRENT_USER, company_key_));
  }
  EXPECT_EQ(kGlobalStorageDone, storage->Set("UUID", "v"));

  // A holder that ends without releasing leaves the mutex to the next.
  {
    MutexHolder holder(true);
    ASSERT_TRUE(holder.Start());
    EXPECT_EQ(kGlobalStorageBusy, storage->Set("UUID", "w"));
    holder.Release();
    EXPECT_EQ(kGlobalStorageDone, storage->Set("UUID", "w"));
  }
  std::string out;
  EXPECT_EQ(kGlobalStorageDone, storage->Get("UUID", &out));
  EXPECT_EQ("w", out);
}

TEST_F(GlobalStorageWinTest, StandAloneAndDeniedInstallationsUseTheFile) {
  const struct {
    bool copy_only;
    LONG open_result;
    bool fallback;
  } kCases[] = {
      {true, ERROR_SUCCESS, true},
      {false, ERROR_ACCESS_DENIED, true},
      {false, ERROR_SUCCESS, false},
      {false, ERROR_FILE_NOT_FOUND, false},
      {false, ERROR_INVALID_HANDLE, false},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test_case.copy_only << " " << test_case.open_result);
    EXPECT_EQ(test_case.fallback,
              MakeStorage(test_case.copy_only, test_case.open_result)
                  ->uses_fallback());
  }

  std::unique_ptr<GlobalStorageWin> storage = MakeStorage(true, ERROR_SUCCESS);
  {
    // No folder given yet: nowhere to write.
    ScopedLogCapture log;
    EXPECT_EQ(kGlobalStorageFailed, storage->Set("UUID", "v"));
    EXPECT_TRUE(log.Has(logging::LOG_ERROR, kFallbackFailedLine));
  }
  storage->SetFallbackDirectory(temp_.GetPath());
  ASSERT_EQ(kGlobalStorageDone, storage->Set("UUID", "file-uuid"));
  // On disk when Set returns.
  std::unique_ptr<base::Value> expected =
      base::JSONReader::Read("{\"GS\": {\"UUID\": \"file-uuid\"}}");
  std::unique_ptr<base::Value> on_disk =
      base::JSONReader::Read(ReadFallbackFile());
  ASSERT_TRUE(on_disk);
  EXPECT_TRUE(expected->Equals(on_disk.get()));
  EXPECT_FALSE(
      installer::test::RegistryKeyExists(HKEY_CURRENT_USER, company_key_));

  std::string out;
  EXPECT_EQ(kGlobalStorageDone, storage->Get("UUID", &out));
  EXPECT_EQ("file-uuid", out);
  EXPECT_EQ(kGlobalStorageFailed, storage->Get("never-written", &out));
  EXPECT_EQ("", out);

  // A dotted key reads back (literally), and a peer's nested one by path.
  ASSERT_EQ(kGlobalStorageDone, storage->Set("install.id", "dotted"));
  EXPECT_EQ(kGlobalStorageDone, storage->Get("install.id", &out));
  EXPECT_EQ("dotted", out);
  WriteFallbackFile("{\"GS\": {\"peer\": {\"id\": \"nested\"}}}");
  EXPECT_EQ(kGlobalStorageDone, storage->Get("peer.id", &out));
  EXPECT_EQ("nested", out);

  ASSERT_EQ(kGlobalStorageDone, storage->Set("peer", ""));
  on_disk = base::JSONReader::Read(ReadFallbackFile());
  expected = base::JSONReader::Read("{\"GS\": {}}");
  ASSERT_TRUE(on_disk);
  EXPECT_TRUE(expected->Equals(on_disk.get()));
}

TEST_F(GlobalStorageWinTest, FileLeftFromEarlierMovesIntoTheRegistry) {
  WriteFallbackFile(
      "{\"GS\": {\"UUID\": \"from-file\", \"other\": \"o\", \"number\": 5, "
      "\"nested\": {\"a\": \"b\"}}}");
  std::unique_ptr<GlobalStorageWin> storage = MakeRegistryStorage();
  storage->SetFallbackDirectory(temp_.GetPath());
  EXPECT_EQ(Utf16Bytes(u"from-file"), Raw(u"UUID").data);
  EXPECT_EQ(Utf16Bytes(u"o"), Raw(u"other").data);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Raw(u"number").result);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Raw(u"nested").result);
  // The file stays and is kept up to date with the registry.
  ASSERT_TRUE(base::PathExists(fallback_file_));
  ASSERT_EQ(kGlobalStorageDone, storage->Set("UUID", "new"));
  EXPECT_EQ(Utf16Bytes(u"new"), Raw(u"UUID").data);
  std::string out;
  ASSERT_TRUE(
      GlobalStorageFallbackFile(fallback_file_).ReadValue("UUID", &out));
  EXPECT_EQ("new", out);
}

TEST_F(GlobalStorageWinTest, NoCopyAfterTheRegistryWasWritten) {
  WriteFallbackFile("{\"GS\": {\"UUID\": \"from-file\"}}");
  std::unique_ptr<GlobalStorageWin> storage = MakeRegistryStorage();
  ASSERT_EQ(kGlobalStorageDone, storage->Set("Other", "first"));
  storage->SetFallbackDirectory(temp_.GetPath());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Raw(u"UUID").result);

  // Nor for a stand-alone installation, whose values stay in the file.
  std::unique_ptr<GlobalStorageWin> stand_alone =
      MakeStorage(true, ERROR_SUCCESS);
  stand_alone->SetFallbackDirectory(temp_.GetPath());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Raw(u"UUID").result);
}

TEST(GlobalStorageWinInstanceTest, OneInstanceOnTheRegistryHere) {
  base::AtExitManager at_exit;
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  GlobalStorageWin* storage = GlobalStorageWin::GetInstance();
  EXPECT_EQ(storage, GlobalStorageWin::GetInstance());
  // The test executable's folder is no stand-alone installation.
  EXPECT_FALSE(storage->uses_fallback());
  CoUninitialize();
}

}  // namespace
}  // namespace autoupdate
