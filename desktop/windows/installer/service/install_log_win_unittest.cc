#include <objbase.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/install_log_test_data.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class InstallLogFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
  }
  void TearDown() override { CoUninitialize(); }

  base::FilePath PathOf(const char16_t* name) {
    return temp_.GetPath().Append(name);
  }

  static void WriteText(const base::FilePath& path, const std::string& text) {
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteBufferToFile(path, text.data(),
                                      static_cast<int>(text.size())));
  }

  static std::string ReadText(const base::FilePath& path) {
    std::string text;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &text));
    return text;
  }

  base::ScopedTempDir temp_;
  XmlDocument document_;
};

TEST_F(InstallLogFileTest, WritesTheReferenceLogByteForByte) {
  base::FilePath path = PathOf(kInstallLogFileName);
  ASSERT_TRUE(WriteInstallLog(&document_, MakeReferenceInstallLog(), path));
  EXPECT_EQ(kReferenceInstallLogText, ReadText(path));
}

TEST_F(InstallLogFileTest, EveryFieldSurvivesTheFile) {
  InstallLog written = MakeReferenceInstallLog();
  written.path = u"C:\\Users\\Zoë\\AppData\\Local\\维尔纳 #1";
  written.subfolder = u"Application";
  for (bool all_users : {true, false}) {
    SCOPED_TRACE(all_users);
    written.all_users = all_users;
    written.copy_only = !all_users;
    written.pinned = !all_users;
    base::FilePath path = PathOf(kInstallLogFileName);
    ASSERT_TRUE(WriteInstallLog(&document_, written, path));
    InstallLog read;
    read.all_users = !all_users;
    XmlDocument reader;
    ASSERT_TRUE(ReadInstallLog(&reader, &read, path));
    EXPECT_EQ(written, read);
  }
}

TEST_F(InstallLogFileTest, ReadsTheFormerNameOnlyWhenTheNewOneIsMissing) {
  InstallLog former = MakeReferenceInstallLog();
  former.version = "1.0.0.1";
  ASSERT_TRUE(
      WriteInstallLog(&document_, former, PathOf(kFormerInstallLogFileName)));
  InstallLog read;
  ASSERT_TRUE(ReadInstallLogFromFolder(&document_, &read, temp_.GetPath()));
  EXPECT_EQ(former, read);

  InstallLog current = MakeReferenceInstallLog();
  current.version = "2.0.0.1";
  ASSERT_TRUE(
      WriteInstallLog(&document_, current, PathOf(kInstallLogFileName)));
  ASSERT_TRUE(ReadInstallLogFromFolder(&document_, &read, temp_.GetPath()));
  EXPECT_EQ("2.0.0.1", read.version);

  // A broken log under the new name is not replaced by the old one.
  WriteText(PathOf(kInstallLogFileName), "<install_log");
  EXPECT_FALSE(ReadInstallLogFromFolder(&document_, &read, temp_.GetPath()));

  ASSERT_TRUE(base::DeleteFileOrDirectory(PathOf(kInstallLogFileName), false));
  ASSERT_TRUE(
      base::DeleteFileOrDirectory(PathOf(kFormerInstallLogFileName), false));
  EXPECT_FALSE(ReadInstallLogFromFolder(&document_, &read, temp_.GetPath()));
}

// Kept logs are found newest first by the number in their name, whatever
// the folder's order; aside copies and other names are none. A new one
// takes the first free number from the time given.
TEST_F(InstallLogFileTest, KeptLogsAreFoundNewestFirstAndNeverOverwritten) {
  const base::FilePath old_status =
      temp_.GetPath().Append(kOldStatusFolderName);
  EXPECT_TRUE(FindKeptInstallLogs(temp_.GetPath()).empty());
  ASSERT_TRUE(base::FileUtil::CreateDirectory(old_status));
  for (const char16_t* name :
       {u"installation_status.xml.900", u"installation_status.xml.1700000001",
        u"INSTALLATION_STATUS.XML.1700000002", u"installation_status.xml.99",
        u"installation_status.xml.1700000003.1700000004.old",
        u"installation_status.xml.1e3", u"velna_install_log.xml.1800000000"}) {
    WriteText(old_status.Append(name), "x");
  }
  const std::vector<base::FilePath> expected = {
      old_status.Append(u"INSTALLATION_STATUS.XML.1700000002"),
      old_status.Append(u"installation_status.xml.1700000001"),
      old_status.Append(u"installation_status.xml.900"),
      old_status.Append(u"installation_status.xml.99")};
  EXPECT_EQ(expected, FindKeptInstallLogs(temp_.GetPath()));

  EXPECT_EQ(old_status.Append(u"installation_status.xml.1700000003"),
            MakeKeptInstallLogPath(temp_.GetPath(), 1700000001));
  EXPECT_EQ(old_status.Append(u"installation_status.xml.1700000005"),
            MakeKeptInstallLogPath(temp_.GetPath(), 1700000005));
}

TEST_F(InstallLogFileTest, AFailedWriteLeavesThePreviousLog) {
  base::FilePath path = PathOf(kInstallLogFileName);
  ASSERT_TRUE(WriteInstallLog(&document_, MakeReferenceInstallLog(), path));
  InstallLog unsavable = MakeReferenceInstallLog();
  unsavable.files.push_back(u"C:\\bad\x0001name");
  EXPECT_FALSE(WriteInstallLog(&document_, unsavable, path));
  EXPECT_EQ(kReferenceInstallLogText, ReadText(path));

  EXPECT_FALSE(WriteInstallLog(&document_, MakeReferenceInstallLog(),
                               PathOf(u"missing\\installation_status.xml")));
}

TEST_F(InstallLogFileTest, ReadsWhatOtherWritersMade) {
  // MSXML's own writer on Windows: CRLF, tabs, an encoding, comments.
  const char kText[] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<!-- installer -->\r\n"
      "<install_log version=\"3.0\" copy_only=\"False\" all_users=\"False\" "
      "pinned=\"True\">\r\n"
      "\t<path subfolder=\"Application\">\r\n\t\tC:\\V\r\n\t</path>\r\n"
      "\t<files>\r\n\t\t<!-- one -->\r\n\t\t<file>C:\\V\\a</file>\r\n"
      "\t</files>\r\n"
      "\t<registry hive=\"HKCU\">\r\n"
      "\t\t<key path=\"Software\\V\" clean=\"1\">\r\n"
      "\t\t\t<value name=\"n\" type=\"REG_SZ\">\r\n\t\t\t\tdata\r\n"
      "\t\t\t</value>\r\n"
      "\t\t</key>\r\n"
      "\t</registry>\r\n"
      "\t<shortcut type=\"SC_DEST_MENU\">C:\\m.lnk</shortcut>\r\n"
      "</install_log>\r\n";
  base::FilePath path = PathOf(kInstallLogFileName);
  WriteText(path, kText);
  InstallLog read;
  ASSERT_TRUE(ReadInstallLog(&document_, &read, path));
  EXPECT_EQ("3.0", read.version);
  EXPECT_FALSE(read.all_users);
  EXPECT_TRUE(read.pinned);
  EXPECT_EQ(u"C:\\V", read.path);
  EXPECT_EQ(std::vector<std::u16string>{u"C:\\V\\a"}, read.files);
  ASSERT_EQ(1u, read.hkcu_keys.size());
  ASSERT_EQ(1u, read.hkcu_keys[0].values.size());
  EXPECT_EQ("data", read.hkcu_keys[0].values[0].data);
  EXPECT_EQ(u"C:\\m.lnk", read.start_menu_shortcut);
}

// Files a user may have left in an install folder: none of them is a log,
// and none may crash the reader.
TEST_F(InstallLogFileTest, RejectsBrokenFiles) {
  const std::string reference = kReferenceInstallLogText;
  std::vector<std::string> corpus = {
      "",
      "\xEF\xBB\xBF",
      std::string("\x00\x01\x02\x03", 4),
      "install_log",
      "<install_log/>",
      "<?xml version=\"1.0\"?><other/>",
      "<install_log version=\"1\" copy_only=\"True\" all_users=\"True\" "
      "pinned=\"True\"><path>C:\\</path><files/></install_log>",
  };
  const struct {
    const char* find;
    const char* replace;
  } kMutations[] = {
      {"clean=\"1\"", "clean=\"-1\""},
      {"clean=\"1\"", "clean=\"-2147483648\""},
      {"clean=\"1\"", "clean=\"99999999999\""},
      {"clean=\"2\"", "clean=\"4\""},
      {"clean=\"1\"", "clean=\"one\""},
      {"path=\"Software\\Velna\"", "path=\"\""},
      {"path=\"Software\\Velna\"", "path=\"\\\""},
      {"hive=\"HKLM\"", "hive=\"HKCR\""},
      {"hive=\"HKCU\"", "hive=\"\""},
      {" hive=\"HKCU\"", ""},
      {"SC_DEST_QUICK_LAUNCH", "SC_DEST_STARTUP"},
      {"<install_log ", "<install_log_v2 "},
      {"</install_log>", "</install_log_v2>"},
      {" version=\"1.2.3.4\"", ""},
      {" pinned=\"True\"", ""},
      {"<value name=\"Bin\"", "<value"},
      {"type=\"REG_DWORD\"", ""},
      {"<file>", "<entry>"},
      {"</shortcut>\n</install_log>", "</shortcut>\n <extra/>\n</install_log>"},
      {"&amp;", "&bogus;"},
      {"<?xml version=\"1.0\"?>",
       "<?xml version=\"1.0\"?><!DOCTYPE install_log SYSTEM "
       "\"file:///C:/windows/win.ini\">"},
  };
  for (const auto& mutation : kMutations) {
    size_t at = reference.find(mutation.find);
    ASSERT_NE(std::string::npos, at) << mutation.find;
    std::string text = reference;
    text.replace(at, strlen(mutation.find), mutation.replace);
    corpus.push_back(text);
  }
  // Every truncation before the root's end tag.
  size_t end = reference.find("</install_log>");
  for (size_t length = 0; length < end; length += 41)
    corpus.push_back(reference.substr(0, length));
  // The raw bytes of UTF-16 text, declared as UTF-8.
  corpus.push_back(std::string("<\0i\0n\0s\0t\0", 10));

  base::FilePath path = PathOf(kInstallLogFileName);
  for (size_t i = 0; i < corpus.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << corpus[i]);
    WriteText(path, corpus[i]);
    InstallLog read;
    XmlDocument document;
    EXPECT_FALSE(ReadInstallLog(&document, &read, path));
  }
}

}  // namespace
}  // namespace installer
