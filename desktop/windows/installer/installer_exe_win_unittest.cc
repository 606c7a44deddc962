// The outer executable and the engine DLL as a user's machine sees them.

#include <windows.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_native_libraries_first_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/test/window_closer_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

struct RunResult {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;
};

// Runs |exe| with a temporary folder of |dir|, so that whatever a run
// writes there (its log, its download folder) goes with the test.
RunResult RunProgram(const base::ScopedTempDir& dir, const std::u16string& exe,
                     const std::u16string& arguments) {
  RunResult result;
  const std::u16string temp = dir.GetPath().value();
  EXPECT_TRUE(base::RunChildProcess(u"\"" + exe + u"\" " + arguments,
                                    {{u"TEMP", temp}, {u"TMP", temp}},
                                    &result.output, &result.exit_code));
  return result;
}

std::u16string BesideTests(const char16_t* name) {
  return base::GetTestExecutableFolder() + name;
}

TEST(InstallerExeTest, CopiedAloneItRunsAndMapsTheResult) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const std::u16string copy = dir.GetPath().Append(u"installer.exe").value();
  ASSERT_TRUE(::CopyFileW(base::as_wcstr(BesideTests(u"installer.exe")),
                          base::as_wcstr(copy), FALSE));

  RunResult internal = RunProgram(dir, copy, u"--internal-version");
  EXPECT_EQ(0u, internal.exit_code);
  EXPECT_EQ("2353.23", internal.output);

  RunResult stream = RunProgram(dir, copy, u"/STREAM --internal-versionx");
  EXPECT_EQ(0u, stream.exit_code);
  EXPECT_EQ("beta", stream.output);

  // The interactive front end: the user quits it, the engine reports
  // failure, the exit code says so. Its fetcher asks a closed port of this
  // machine and no statistics go out.
  test::WindowCloser closer{base::FilePath(copy)};
  EXPECT_EQ(1u, RunProgram(dir, copy,
                           u"--internal-package-server=http://127.0.0.1:9/ "
                           u"--enable-installer-stats=0")
                    .exit_code);
  EXPECT_LE(2, closer.closed());
}

// The libraries an installer run loads that Windows does not always take
// from the system folder, and the two it loads at run time.
constexpr const char16_t* kPlantedNames[] = {
    u"WINHTTP.dll",  u"WININET.dll", u"UxTheme.dll", u"CRYPT32.dll",
    u"WINTRUST.dll", u"USERENV.dll", u"Secur32.dll", u"MSIMG32.dll",
    u"WINMM.dll",    u"gdiplus.dll", u"dbghelp.dll", u"Msftedit.dll"};

// A copy of the test module under every name above, beside installer.exe,
// as a page that offers downloads could leave them in Downloads: the
// installer, started in its print and interactive roles (window, package
// download, crash reporter), loads none of them.
TEST(InstallerExeTest, LibrariesPlantedBesideItAreNeverLoaded) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  // A name of this test's own: it carries the Wine settings below.
  const std::u16string name = u"planted_installer_" +
                              base::UintToString16(::GetCurrentProcessId()) +
                              u".exe";
  const base::FilePath copy = dir.GetPath().Append(name);
  ASSERT_TRUE(::CopyFileW(base::as_wcstr(BesideTests(u"installer.exe")),
                          base::as_wcstr(copy.value()), FALSE));
  for (const char16_t* library : kPlantedNames) {
    ASSERT_TRUE(::CopyFileW(
        base::as_wcstr(BesideTests(u"installer_planted_module.dll")),
        base::as_wcstr(dir.GetPath().Append(library).value()), FALSE));
  }
  const base::FilePath marker = dir.GetPath().Append(u"marker.txt");
  const std::u16string temp = dir.GetPath().value();
  const std::vector<std::pair<std::u16string, std::u16string>> environment = {
      {u"TEMP", temp}, {u"TMP", temp}, {u"VELNA_TEST_MARKER", marker.value()}};
  base::ScopedNativeLibrariesFirst native_first(
      name, std::vector<std::u16string>(std::begin(kPlantedNames),
                                        std::end(kPlantedNames)));
  ASSERT_TRUE(native_first.ok());
  const std::u16string command = u"\"" + copy.value() + u"\" ";

  std::string output;
  DWORD exit_code = 0xFFFFFFFF;
  ASSERT_TRUE(base::RunChildProcess(command + u"--version", environment,
                                    &output, &exit_code));
  EXPECT_EQ(0u, exit_code);
  {
    test::WindowCloser closer{copy};
    ASSERT_TRUE(base::RunChildProcess(
        command + u"--internal-package-server=http://127.0.0.1:9/ "
                  u"--enable-installer-stats=0",
        environment, &output, &exit_code));
    EXPECT_EQ(1u, exit_code);
    EXPECT_LE(1, closer.closed());
  }
  std::string loaded;
  base::FileUtil::ReadFileToString(marker, &loaded);
  EXPECT_EQ("", loaded);

  // The planted module works: loaded as code, it leaves its mark.
  const base::FilePath probe = dir.GetPath().Append(u"probe_module.dll");
  ASSERT_TRUE(
      ::CopyFileW(base::as_wcstr(BesideTests(u"installer_planted_module.dll")),
                  base::as_wcstr(probe.value()), FALSE));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VELNA_TEST_MARKER",
                                        base::as_wcstr(marker.value())));
  HMODULE planted = ::LoadLibraryW(base::as_wcstr(probe.value()));
  ::SetEnvironmentVariableW(L"VELNA_TEST_MARKER", nullptr);
  ASSERT_NE(nullptr, planted);
  ::FreeLibrary(planted);
  ASSERT_TRUE(base::FileUtil::ReadFileToString(marker, &loaded));
  EXPECT_NE(std::string::npos, loaded.find("probe_module.dll"));
}

TEST(InstallerExeTest, CarriesItsManifest) {
  HMODULE exe = ::LoadLibraryExW(base::as_wcstr(BesideTests(u"installer.exe")),
                                 nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, exe);
  HRSRC manifest = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(nullptr, manifest);
  const char* data =
      static_cast<const char*>(::LockResource(::LoadResource(exe, manifest)));
  const std::string text(data, ::SizeofResource(exe, manifest));
  // Windows 10's id, so that version queries are not capped at 8.
  EXPECT_NE(std::string::npos,
            text.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"));
  EXPECT_NE(std::string::npos, text.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, text.find("asInvoker"));
  ::FreeLibrary(exe);
}

// The system reads the manifest's display awareness: per monitor where
// Windows knows it, else for the system's pixels per inch, never stretched
// into a blur.
TEST(InstallerExeTest, ManifestDeclaresPerMonitorDpiAwareness) {
  const std::u16string exe = BesideTests(u"installer.exe");
  ACTCTXW context = {};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = base::as_wcstr(exe);
  context.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE handle = ::CreateActCtxW(&context);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle) << ::GetLastError();
  const struct {
    const wchar_t* ns;
    const wchar_t* name;
    const wchar_t* value;
  } kSettings[] = {
      {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
       L"dpiAwareness", L"PerMonitorV2, System"},
      {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware",
       L"true"},
  };
  for (const auto& setting : kSettings) {
    wchar_t value[64] = {};
    SIZE_T written = 0;
    EXPECT_TRUE(::QueryActCtxSettingsW(0, handle, setting.ns, setting.name,
                                       value, 64, &written))
        << ::GetLastError();
    EXPECT_STREQ(setting.value, value);
  }
  ::ReleaseActCtx(handle);
}

TEST(InstallerExeTest, EngineDllExportsItsEntryPoints) {
  HMODULE engine =
      ::LoadLibraryW(base::as_wcstr(BesideTests(u"installer_engine.dll")));
  ASSERT_NE(nullptr, engine) << ::GetLastError();
  EXPECT_NE(nullptr, ::GetProcAddress(engine, "RunInstaller"));
  EXPECT_NE(nullptr, ::GetProcAddress(engine, "GetHandleVerifier"));
  ::FreeLibrary(engine);
  // The outer executable exports the verifier too: other modules look for it
  // in the main module.
  HMODULE exe = ::LoadLibraryExW(base::as_wcstr(BesideTests(u"installer.exe")),
                                 nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(nullptr, exe);
  EXPECT_NE(nullptr, ::GetProcAddress(exe, "GetHandleVerifier"));
  ::FreeLibrary(exe);
}

}  // namespace
}  // namespace installer
