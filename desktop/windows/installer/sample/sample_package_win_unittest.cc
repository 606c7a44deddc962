// The sample packages that the build makes (tools/make_sample_package.py)
// are what the end-to-end tests install: their lists, archives, payloads,
// versions and programs must be as the installer reads them.

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/version.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/sample/sample_launcher_win.h"
#include "desktop/windows/installer/sample/sample_package_material.h"
#include "desktop/windows/installer/sample/sample_program_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::SampleList;
using test::SamplePackageKey;
using test::SamplePackageTree;
using test::SamplePath;
using test::SampleString;

constexpr const char* kPackages[] = {"base", "update"};

// The lines of a list file, each of which must end with CRLF.
std::vector<std::string> ReadListLines(const base::FilePath& path) {
  std::string text;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &text)) << path.AsUTF8();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << path.AsUTF8() << ": no CRLF after the last line";
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// What a program printed for |switch_name|, run as the fetcher runs the
// downloaded installer.
std::string RunForOutput(const base::FilePath& program,
                         const std::string& arguments) {
  std::string output;
  EXPECT_TRUE(base::GetAppOutputInternal(
      u"\"" + program.value() + u"\" " + base::UTF8ToUTF16(arguments), false,
      &output))
      << program.AsUTF8();
  return output;
}

class SamplePackageTest : public testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Packages, SamplePackageTest,
                         testing::Values("base", "update"));

// The backend reads both lists by splitting at CR and LF and copies each
// line below its own folder; the fetcher appends names behind the last
// line, which therefore ends with CRLF too.
TEST_P(SamplePackageTest, ListsNameThePackagesFilesOnce) {
  const base::FilePath tree = SamplePackageTree(GetParam());
  const std::vector<std::string> files =
      ReadListLines(tree.AppendASCII("files_list"));
  const std::vector<std::string> root_files =
      ReadListLines(tree.AppendASCII("root_files_list"));
  EXPECT_EQ(files, SampleList(SamplePackageKey(GetParam(), "files")));
  EXPECT_EQ(root_files, SampleList(SamplePackageKey(GetParam(), "root_files")));
  ASSERT_FALSE(files.empty());
  ASSERT_FALSE(root_files.empty());

  std::set<std::string> seen;
  std::vector<std::string> all = files;
  all.insert(all.end(), root_files.begin(), root_files.end());
  for (const std::string& line : all) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(seen.insert(base::ToLowerASCII(line)).second) << "twice";
    // Invalid UTF-8 would not survive the conversion unchanged.
    EXPECT_EQ(base::UTF16ToUTF8(base::UTF8ToUTF16(line)), line);
    EXPECT_EQ(line.find_first_of("/:\r\n"), std::string::npos);
    EXPECT_NE(line.front(), '\\');
    EXPECT_NE(line.front(), ' ');
    EXPECT_NE(line.back(), ' ');
    const base::FilePath relative(base::UTF8ToUTF16(line));
    EXPECT_FALSE(relative.ReferencesParent());
    EXPECT_TRUE(base::PathExists(tree.AppendPath(relative)));
    EXPECT_FALSE(base::DirectoryExists(tree.AppendPath(relative)));
  }
  // The package backend is recognised by these two beside the lists; the
  // launcher and the lists themselves are installed by other steps.
  const std::string browser = BrandingConfig::GetFileNameBase() + ".exe";
  EXPECT_EQ(SampleString("browser_executable"), browser);
  for (const std::string& name : {std::string("installer.exe"), browser})
    EXPECT_EQ(seen.count(base::ToLowerASCII(name)), 1u) << name;
  for (const char* name : {"launcher.exe", "files_list", "root_files_list"})
    EXPECT_EQ(seen.count(name), 0u) << name;
}

// The full installer carries the package where the fetcher looks for it,
// and unpacks to the package's tree, no file more or less.
TEST_P(SamplePackageTest, FullInstallerUnpacksToThePackageTree) {
  const base::FilePath installer =
      SamplePath(SampleString(SamplePackageKey(GetParam(), "full_installer")));
  PayloadReader reader(installer);
  ASSERT_TRUE(reader.Read());
  EXPECT_TRUE(reader.IsFullPackage());
  EXPECT_FALSE(reader.IsCorrupt());

  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath archive = temp.GetPath().AppendASCII("package.7z");
  ASSERT_TRUE(reader.WritePayload(archive));
  const base::FilePath unpacked = temp.GetPath().AppendASCII("package");
  LzmaUtil lzma;
  ASSERT_EQ(lzma.OpenArchive(archive), 0u);
  ASSERT_EQ(lzma.UnPack(unpacked), 0);
  lzma.CloseArchive();

  const std::map<std::u16string, std::string> got =
      test::ReadFileTree(unpacked);
  const std::map<std::u16string, std::string> staged =
      test::ReadFileTree(SamplePackageTree(GetParam()));
  std::set<std::u16string> listed;
  for (const char* key : {"files", "root_files", "control_files"}) {
    for (const std::string& name :
         SampleList(SamplePackageKey(GetParam(), key)))
      listed.insert(base::UTF8ToUTF16(name));
  }
  std::set<std::u16string> names;
  for (const auto& [name, contents] : got) {
    names.insert(name);
    const auto source = staged.find(name);
    ASSERT_NE(source, staged.end()) << base::UTF16ToUTF8(name);
    EXPECT_TRUE(contents == source->second) << base::UTF16ToUTF8(name);
  }
  EXPECT_EQ(names, listed);
  EXPECT_EQ(got.size(), staged.size());
}

// The backend names the versioned subfolder and the uninstall entry after
// the package installer's product version; the fetcher compares the
// downloaded installer's internal version and stream with its own. The
// update is one major version on, with the same internal version and
// stream, so that a net installer of either accepts both.
TEST(SamplePackagesTest, PackagesReportConsistentVersions) {
  std::map<std::string, base::Version> product;
  for (const char* package : kPackages) {
    SCOPED_TRACE(package);
    const base::FilePath inner =
        SamplePackageTree(package).AppendASCII("installer.exe");
    const base::FilePath full =
        SamplePath(SampleString(SamplePackageKey(package, "full_installer")));
    for (const base::FilePath& program : {inner, full}) {
      EXPECT_EQ(RunForOutput(program, "--internal-version"),
                VersionInfo::GetInternalVersion());
      EXPECT_EQ(RunForOutput(program, "--stream"), VersionInfo::GetStream());
    }
    const std::string version = RunForOutput(inner, "--version");
    EXPECT_EQ(RunForOutput(full, "--version"), version);
    product[package] = base::Version(version);
    ASSERT_TRUE(product[package].IsValid()) << version;
  }
  EXPECT_EQ(product["base"].GetString(), VersionInfo::GetProductVersion());
  EXPECT_EQ(product["update"].CompareTo(product["base"]), 1);
  std::vector<uint32_t> expected = product["base"].components();
  ++expected[0];
  EXPECT_EQ(product["update"].components(), expected);
}

// The net installer carries the tracking data, which the fetcher posts to
// the update server, and no package.
TEST(SamplePackagesTest, NetInstallerCarriesTrackingData) {
  PayloadReader reader(SamplePath(SampleString("net_installer")));
  ASSERT_TRUE(reader.Read());
  EXPECT_FALSE(reader.IsFullPackage());
  EXPECT_FALSE(reader.IsCorrupt());
  EXPECT_EQ(reader.GetTrackingData(), SampleString("tracking_data"));
  EXPECT_EQ(RunForOutput(SamplePath(SampleString("net_installer")),
                         "--internal-version"),
            VersionInfo::GetInternalVersion());
}

// The stand-in programs start and say so, on standard output and in the
// file the variable names (appended, so that several starts are seen).
TEST(SamplePackagesTest, ProgramsWriteTheirLine) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath log = temp.GetPath().AppendASCII("starts.log");
  ASSERT_TRUE(::SetEnvironmentVariableW(sample::kSampleProgramLogVariable,
                                        base::as_wcstr(log.value())));
  const base::FilePath tree = SamplePackageTree("base");
  const base::FilePath launcher = tree.AppendASCII("launcher.exe");
  const base::FilePath browser =
      tree.AppendASCII(SampleString("browser_executable"));
  const std::string launcher_line =
      "launcher started: " + launcher.AsUTF8() + " --scheduledautoupdate\r\n";
  const std::string browser_line =
      "browser started: " + browser.AsUTF8() + " \"http://127.0.0.1/a b\"\r\n";
  EXPECT_EQ(RunForOutput(launcher, "--scheduledautoupdate"), launcher_line);
  EXPECT_EQ(RunForOutput(browser, "\"http://127.0.0.1/a b\""), browser_line);
  ::SetEnvironmentVariableW(sample::kSampleProgramLogVariable, nullptr);
  EXPECT_EQ(RunForOutput(browser, ""),
            "browser started: " + browser.AsUTF8() + "\r\n");
  std::string logged;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(log, &logged));
  EXPECT_EQ(logged, launcher_line + browser_line);
}

TEST(SampleLauncherTest, RecognisesTheUninstallSwitch) {
  const struct {
    const wchar_t* argument;
    bool uninstall;
  } cases[] = {
      {L"--uninstall", true},
      {L"/uninstall", true},
      {L"-UnInstall", true},
      {L"uninstall", false},
      {L"--uninstall=1", false},
      {L"--uninstaller", false},
      {L"/", false},
      {L"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sample::IsUninstallSwitch(c.argument), c.uninstall) << c.argument;
}

// The uninstall entry names the launcher: it hands "/uninstall" and every
// other argument to the installer of the version folder that the
// installation status names (a reinstall of one version makes "<version>_0"
// and so on beside the first), ends with that installer's exit code, and
// logs what it ran or why it ran nothing.
TEST(SampleLauncherTest, HandsTheUninstallToTheInstalledInstaller) {
  base::win::ScopedComInitializer com;
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().AppendASCII("Velna");
  const base::FilePath logs = temp.GetPath().AppendASCII("temp");
  const base::FilePath launcher_log =
      logs.Append(GetInstallerFolderName())
          .AppendASCII(FormatWithProductName("%s_launcher.log", true));
  const base::FilePath tree = SamplePackageTree("base");
  const base::FilePath launcher = folder.AppendASCII("launcher.exe");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(logs));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  ASSERT_TRUE(base::CopyOneFile(tree.AppendASCII("launcher.exe"), launcher));
  // Stand-ins for the installers: the browser program reports its path.
  const base::FilePath stand_in =
      tree.AppendASCII(SampleString("browser_executable"));
  for (const char* version : {"41.0.0.1", "41.0.0.1_0", "41.0.0.1_1", "99.0"}) {
    ASSERT_TRUE(base::FileUtil::CreateDirectory(folder.AppendASCII(version)));
    ASSERT_TRUE(base::CopyOneFile(
        stand_in, folder.AppendASCII(version).AppendASCII("installer.exe")));
  }

  const struct {
    const char* subfolder;  // null: no installation status
    bool complete;
    const char* runs;  // the version folder whose installer runs, or null
    const char* logged;
  } kCases[] = {
      {"41.0.0.1_1", true, "41.0.0.1_1", "exit code 0"},
      {"41.0.0.1", true, "41.0.0.1", "exit code 0"},
      {"41.0.0.1_0", false, "41.0.0.1_0", "exit code 0"},
      {nullptr, true, nullptr, "No readable installation status in "},
      {"..", true, nullptr, "names no version folder"},
      {"99.0\\..\\41.0.0.1", true, nullptr, "names no version folder"},
      {"41.0.0.2", true, nullptr, "The installed version has no installer"},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.subfolder ? test_case.subfolder : "(none)");
    const base::FilePath status = folder.AppendASCII("installation_status.xml");
    base::DeleteFileOrDirectory(status, false);
    base::DeleteFileOrDirectory(launcher_log, false);
    if (test_case.subfolder) {
      InstallLog log;
      log.path = folder.value();
      log.subfolder = base::UTF8ToUTF16(test_case.subfolder);
      log.version = "41.0.0.1";
      log.files = {u"velna.exe"};
      log.complete = test_case.complete;
      XmlDocument document;
      ASSERT_TRUE(WriteInstallLog(&document, log, status));
    }
    std::string output;
    DWORD exit_code = 0;
    ASSERT_TRUE(base::RunChildProcess(
        u"\"" + launcher.value() + u"\" /uninstall --silent",
        {{u"TEMP", logs.value()}, {u"TMP", logs.value()}}, &output,
        &exit_code));
    std::string expected_output =
        "launcher started: " + launcher.AsUTF8() + " /uninstall --silent\r\n";
    if (test_case.runs) {
      const base::FilePath installer =
          folder.AppendASCII(test_case.runs).AppendASCII("installer.exe");
      expected_output +=
          "browser started: " + installer.AsUTF8() + " /uninstall --silent\r\n";
      EXPECT_EQ(0u, exit_code);
    } else {
      EXPECT_EQ(1u, exit_code);
    }
    EXPECT_EQ(expected_output, output);
    std::string logged;
    ASSERT_TRUE(base::FileUtil::ReadFileToString(launcher_log, &logged));
    EXPECT_NE(std::string::npos,
              logged.find("Uninstall requested: " + launcher.AsUTF8() +
                          " /uninstall --silent"))
        << logged;
    if (test_case.runs) {
      EXPECT_NE(std::string::npos,
                logged.find("Running \"" +
                            folder.AppendASCII(test_case.runs)
                                .AppendASCII("installer.exe")
                                .AsUTF8() +
                            "\" /uninstall --silent"))
          << logged;
    }
    EXPECT_NE(std::string::npos, logged.find(test_case.logged)) << logged;
  }
}

// The launcher starts the browser of a complete version with its own
// arguments: the one the installation status names when every file it
// lists is there (finished or not: an uninstallation ended part-way empties
// a finished one), else the newest kept status's that is so (a finished one
// first). The uninstall takes its installer the
// same way, or else the installation status's even when its version is not
// complete. It ends with what it started.
TEST(SampleLauncherTest, StartsTheBrowserOfACompleteVersion) {
  base::win::ScopedComInitializer com;
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().AppendASCII("Velna");
  const base::FilePath logs = temp.GetPath().AppendASCII("temp");
  const base::FilePath tree = SamplePackageTree("base");
  const base::FilePath launcher = folder.AppendASCII("launcher.exe");
  const std::string browser_name = SampleString("browser_executable");
  const std::u16string browser = base::UTF8ToUTF16(browser_name);
  ASSERT_TRUE(base::FileUtil::CreateDirectory(logs));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  ASSERT_TRUE(base::CopyOneFile(tree.AppendASCII("launcher.exe"), launcher));
  // "41" and "43" are whole; "42" lacks a file; "44" has no browser.
  const base::FilePath stand_in = tree.Append(browser);
  for (const char* version : {"41", "42", "43", "44"}) {
    const base::FilePath path = folder.AppendASCII(version);
    ASSERT_TRUE(base::FileUtil::CreateDirectory(path.AppendASCII("res")));
    if (std::string(version) != "44") {
      ASSERT_TRUE(base::CopyOneFile(stand_in, path.Append(browser)));
      ASSERT_TRUE(base::CopyOneFile(stand_in, path.Append(u"installer.exe")));
    }
    if (std::string(version) != "42") {
      ASSERT_EQ(
          1, base::WriteBufferToFile(path.AppendASCII("res\\a.txt"), "a", 1));
    }
  }
  const base::FilePath old_status = folder.AppendASCII("old_status");
  auto write = [&](const base::FilePath& path, const char* subfolder,
                   bool complete) {
    InstallLog log;
    log.path = folder.value();
    log.subfolder = base::UTF8ToUTF16(subfolder);
    log.version = "41.0.0.1";
    log.files = {browser, u"installer.exe", u"res\\a.txt"};
    log.complete = complete;
    XmlDocument document;
    EXPECT_TRUE(base::FileUtil::CreateDirectory(path.DirName()));
    EXPECT_TRUE(WriteInstallLog(&document, log, path));
  };
  struct Kept {
    const char* number;
    const char* subfolder;
    bool complete;
  };
  const struct {
    const char* subfolder;  // null: a status that does not read
    bool complete;
    std::vector<Kept> kept;
    const char* arguments;
    const char* runs;  // the version folder whose program runs, or null
    std::string logged;
  } kCases[] = {
      {"42", true, {{"1", "41", true}}, "", "41", "the kept status"},
      {"44",
       true,
       {{"1", "42", true}},
       "",
       nullptr,
       "Not starting the browser: The installed version has no browser: " +
           folder.AppendASCII("44").Append(browser).AsUTF8() +
           "; no version the installer kept is whole"},
      {"43", false, {{"1", "41", true}}, "", "43", "exit code 0"},
      {"42",
       false,
       {{"9", "43", false}, {"1", "41", true}},
       "http://a/",
       "41",
       "the kept status"},
      {"44",
       true,
       {{"2", "43", false}, {"3", "42", false}},
       "",
       "43",
       "the kept status"},
      {nullptr, true, {{"1", "41", true}}, "", "41", "the kept status"},
      {"42",
       false,
       {{"1", "44", true}},
       "",
       nullptr,
       "Not starting the browser: The installed version is not complete: " +
           folder.AppendASCII("42\\res\\a.txt").AsUTF8() +
           " is missing; no version the installer kept is whole"},
      {"41", true, {}, "--scheduledautoupdate", nullptr, ""},
      {"42",
       false,
       {{"1", "41", true}},
       "/uninstall --silent",
       "41",
       "the kept status"},
      {"42", false, {}, "/uninstall --silent", "42", "exit code 0"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.subfolder ? c.subfolder : "(unreadable)") + " " +
                 c.arguments);
    ASSERT_TRUE(base::DeleteFileOrDirectory(old_status, true));
    const base::FilePath status = folder.AppendASCII("installation_status.xml");
    if (c.subfolder) {
      write(status, c.subfolder, c.complete);
    } else {
      ASSERT_EQ(5, base::WriteBufferToFile(status, "<inst", 5));
    }
    for (const Kept& kept : c.kept) {
      write(old_status.AppendASCII(std::string("installation_status.xml.") +
                                   kept.number),
            kept.subfolder, kept.complete);
    }
    std::string output;
    DWORD exit_code = 0;
    ASSERT_TRUE(base::RunChildProcess(
        u"\"" + launcher.value() + u"\" " + base::UTF8ToUTF16(c.arguments),
        {{u"TEMP", logs.value()}, {u"TMP", logs.value()}}, &output,
        &exit_code));
    const bool uninstall =
        std::string(c.arguments).find("uninstall") != std::string::npos;
    std::string expected =
        "launcher started: " + launcher.AsUTF8() +
        (*c.arguments ? std::string(" ") + c.arguments : "") + "\r\n";
    if (c.runs) {
      expected += "browser started: " +
                  folder.AppendASCII(c.runs)
                      .AppendASCII(uninstall ? "installer.exe" : browser_name)
                      .AsUTF8() +
                  (*c.arguments ? std::string(" ") + c.arguments : "") + "\r\n";
    }
    EXPECT_EQ(expected, output);
    EXPECT_EQ(c.runs || c.logged.empty() ? 0u : 1u, exit_code);
    if (!c.logged.empty()) {
      std::string logged;
      ASSERT_TRUE(base::FileUtil::ReadFileToString(
          logs.Append(GetInstallerFolderName())
              .AppendASCII(FormatWithProductName("%s_launcher.log", true)),
          &logged));
      EXPECT_NE(std::string::npos, logged.rfind(c.logged)) << logged;
    }
  }
}

}  // namespace
}  // namespace installer
