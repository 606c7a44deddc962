// The outer executable and the engine DLL as a user's machine sees them.

#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
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
