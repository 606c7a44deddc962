#include "base/win/registry.h"

#include <string>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr char16_t kTestRoot[] = u"Software\\VelnaTest";

// Each test works below its own key, HKCU\Software\VelnaTest\<test>, which
// is removed afterwards.
class RegKeyTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    path_ =
        std::u16string(kTestRoot) + u"\\" +
        UTF8ToUTF16(std::string(info->test_suite_name()) + "." + info->name());
    RegKey root;
    ASSERT_EQ(ERROR_SUCCESS,
              root.Create(HKEY_CURRENT_USER, kTestRoot, KEY_ALL_ACCESS));
    root.DeleteKey(name_in_root().c_str());
    ASSERT_EQ(ERROR_SUCCESS,
              key_.Create(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    key_.Close();
    RegKey root(HKEY_CURRENT_USER, kTestRoot, KEY_ALL_ACCESS);
    EXPECT_EQ(ERROR_SUCCESS, root.DeleteKey(name_in_root().c_str()));
  }

  std::u16string name_in_root() const {
    return path_.substr(std::char_traits<char16_t>::length(kTestRoot) + 1);
  }

  void WriteRaw(const char16_t* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS,
              key_.WriteValue(name, bytes.data(),
                              static_cast<DWORD>(bytes.size()), type));
  }

  std::u16string path_;
  RegKey key_;
};

std::string Utf16Bytes(const std::u16string& text, bool with_nul) {
  std::string bytes(reinterpret_cast<const char*>(text.data()),
                    text.size() * 2);
  if (with_nul) bytes.append(2, '\0');
  return bytes;
}

TEST_F(RegKeyTest, ReadValueDWChecksTypeAndSize) {
  struct Case {
    const char16_t* name;
    DWORD type;
    std::string data;
    LONG expected;
    DWORD value;
  };
  const Case cases[] = {
      {u"dword", REG_DWORD, std::string("\x2a\x00\x00\x01", 4), ERROR_SUCCESS,
       0x0100002a},
      {u"binary4", REG_BINARY, std::string("\x01\x02\x03\x04", 4),
       ERROR_SUCCESS, 0x04030201},
      {u"binary3", REG_BINARY, std::string("\x01\x02\x03", 3), ERROR_CANTREAD,
       0},
      {u"qword", REG_QWORD, std::string(8, '\x01'), ERROR_MORE_DATA, 0},
      {u"short text", REG_SZ, Utf16Bytes(u"a", true), ERROR_CANTREAD, 0},
      {u"long text", REG_SZ, Utf16Bytes(u"abc", true), ERROR_MORE_DATA, 0},
      {u"dword typed as text", REG_SZ, std::string("\x01\x00\x00\x00", 4),
       ERROR_CANTREAD, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.name));
    WriteRaw(c.name, c.type, c.data);
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(c.expected, key_.ReadValueDW(c.name, &value));
    EXPECT_EQ(c.expected == ERROR_SUCCESS ? c.value : 0xDEADBEEF, value);
  }
  DWORD value = 7;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValueDW(u"missing", &value));
  EXPECT_EQ(7u, value);
}

TEST_F(RegKeyTest, ReadValueTakesTextsUpToTheirEnd) {
  const std::u16string units_1023(1023, u'x');
  const std::u16string units_1024(1024, u'y');
  struct Case {
    const char16_t* name;
    DWORD type;
    std::string data;
    LONG expected;
    std::u16string text;
  };
  const Case cases[] = {
      {u"plain", REG_SZ, Utf16Bytes(u"hello", true), ERROR_SUCCESS, u"hello"},
      {u"empty", REG_SZ, "", ERROR_SUCCESS, u""},
      {u"no terminator", REG_SZ, Utf16Bytes(u"abc", false), ERROR_SUCCESS,
       u"abc"},
      {u"odd size", REG_SZ, std::string("a\0b\0c", 5), ERROR_SUCCESS, u"ab"},
      {u"inner nul", REG_SZ, Utf16Bytes(std::u16string(u"ab\0cd", 5), true),
       ERROR_SUCCESS, u"ab"},
      {u"fills the buffer", REG_SZ, Utf16Bytes(units_1023, true), ERROR_SUCCESS,
       units_1023},
      {u"two units too long", REG_SZ, Utf16Bytes(units_1024 + u"z", true),
       ERROR_MORE_DATA, u"unchanged"},
      {u"multi", REG_MULTI_SZ, Utf16Bytes(std::u16string(u"a\0b\0", 4), true),
       ERROR_CANTREAD, u"unchanged"},
      {u"dword", REG_DWORD, std::string(4, '\0'), ERROR_CANTREAD, u"unchanged"},
      {u"binary", REG_BINARY, Utf16Bytes(u"text", true), ERROR_CANTREAD,
       u"unchanged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.name));
    WriteRaw(c.name, c.type, c.data);
    std::u16string text = u"unchanged";
    EXPECT_EQ(c.expected, key_.ReadValue(c.name, &text));
    EXPECT_EQ(c.text, text);
  }
}

// Windows hands out unterminated data that exactly fills the buffer; Wine
// wants room for a NUL and answers ERROR_MORE_DATA. Either way nothing past
// the data may be read.
TEST_F(RegKeyTest, UnterminatedTextFillingTheBuffer) {
  const std::u16string units_1024(1024, u'y');
  WriteRaw(u"full", REG_SZ, Utf16Bytes(units_1024, false));
  std::u16string text = u"unchanged";
  const LONG result = key_.ReadValue(u"full", &text);
  if (result == ERROR_MORE_DATA) {
    EXPECT_EQ(u"unchanged", text);
  } else {
    EXPECT_EQ(ERROR_SUCCESS, result);
    EXPECT_EQ(units_1024, text);
  }
}

TEST_F(RegKeyTest, ExpandableTextsAreExpanded) {
  char16_t system_root[MAX_PATH] = {};
  ASSERT_NE(0u, GetEnvironmentVariableW(
                    L"SystemRoot", as_writable_wcstr(system_root), MAX_PATH));
  const std::u16string long_value(1100, u'L');
  ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_REGISTRY_TEST_LONG",
                                      as_wcstr(long_value)));
  // 1,023 units plus the NUL fit the expansion buffer; 1,024 do not.
  ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_REGISTRY_TEST_1023",
                                      as_wcstr(std::u16string(1023, u'e'))));
  ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_REGISTRY_TEST_1024",
                                      as_wcstr(std::u16string(1024, u'f'))));
  struct Case {
    const char16_t* name;
    std::string data;
    LONG expected;
    std::u16string text;
  };
  const Case cases[] = {
      {u"system root", Utf16Bytes(u"%SystemRoot%\\x", true), ERROR_SUCCESS,
       std::u16string(system_root) + u"\\x"},
      {u"unterminated", Utf16Bytes(u"%SystemRoot%", false), ERROR_SUCCESS,
       system_root},
      {u"unknown variable", Utf16Bytes(u"%VELNA_NO_SUCH%", true), ERROR_SUCCESS,
       u"%VELNA_NO_SUCH%"},
      {u"expansion fits", Utf16Bytes(u"%VELNA_REGISTRY_TEST_1023%", true),
       ERROR_SUCCESS, std::u16string(1023, u'e')},
      {u"expansion one too long",
       Utf16Bytes(u"%VELNA_REGISTRY_TEST_1024%", true), ERROR_MORE_DATA,
       u"unchanged"},
      {u"expansion far too long",
       Utf16Bytes(u"%VELNA_REGISTRY_TEST_LONG%", true), ERROR_MORE_DATA,
       u"unchanged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.name));
    WriteRaw(c.name, REG_EXPAND_SZ, c.data);
    std::u16string text = u"unchanged";
    EXPECT_EQ(c.expected, key_.ReadValue(c.name, &text));
    EXPECT_EQ(c.text, text);
  }
}

TEST_F(RegKeyTest, DefaultValueHasNoName) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(nullptr, u"default text"));
  std::u16string by_null, by_empty;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(nullptr, &by_null));
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(u"", &by_empty));
  EXPECT_EQ(u"default text", by_null);
  EXPECT_EQ(u"default text", by_empty);
}

TEST_F(RegKeyTest, WritesReadBackAndDelete) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(u"number", 0xFFFFFFFFu));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(u"text", u"C:\\Program Files"));
  DWORD number = 0;
  std::u16string text;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValueDW(u"number", &number));
  EXPECT_EQ(0xFFFFFFFFu, number);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(u"text", &text));
  EXPECT_EQ(u"C:\\Program Files", text);

  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteValue(u"number"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValueDW(u"number", &number));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.DeleteValue(u"number"));

  RegKey deep(HKEY_CURRENT_USER, (path_ + u"\\a\\b\\c").c_str(), KEY_SET_VALUE);
  ASSERT_TRUE(deep.Valid());
  ASSERT_EQ(ERROR_SUCCESS, deep.WriteValue(u"v", 1u));
  deep.Close();
  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteKey(u"a"));
  RegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            gone.Open(HKEY_CURRENT_USER, (path_ + u"\\a").c_str(), KEY_READ));
}

TEST_F(RegKeyTest, ConstructorCreatesOnlyForWriteAccess) {
  const std::u16string missing = path_ + u"\\created";
  {
    RegKey reader(HKEY_CURRENT_USER, missing.c_str(), KEY_READ);
    EXPECT_FALSE(reader.Valid());
  }
  for (REGSAM access : {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK}) {
    key_.DeleteKey(u"created");
    RegKey writer(HKEY_CURRENT_USER, missing.c_str(), access);
    EXPECT_TRUE(writer.Valid()) << access;
    RegKey reader(HKEY_CURRENT_USER, missing.c_str(), KEY_READ);
    EXPECT_TRUE(reader.Valid()) << access;
  }
}

TEST_F(RegKeyTest, ViewBitsAreKept) {
  RegKey view32(HKEY_CURRENT_USER, path_.c_str(), KEY_READ | KEY_WOW64_32KEY);
  EXPECT_TRUE(view32.Valid());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), view32.wow64access());

  RegKey no_root(nullptr, u"ignored", KEY_READ | KEY_WOW64_64KEY);
  EXPECT_FALSE(no_root.Valid());
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), no_root.wow64access());

  view32.Close();
  EXPECT_EQ(0u, view32.wow64access());
}

TEST_F(RegKeyTest, FailedOpenKeepsTheHeldKey) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(u"still", 5u));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            key_.Open(HKEY_CURRENT_USER, (path_ + u"\\nowhere").c_str(),
                      KEY_READ | KEY_WOW64_32KEY));
  ASSERT_TRUE(key_.Valid());
  EXPECT_EQ(0u, key_.wow64access());
  DWORD value = 0;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValueDW(u"still", &value));
  EXPECT_EQ(5u, value);
}

TEST_F(RegKeyTest, ReadsWithoutAKeyFail) {
  RegKey empty;
  std::u16string text = u"unchanged";
  DWORD value = 3;
  EXPECT_EQ(ERROR_INVALID_HANDLE, empty.ReadValue(u"x", &text));
  EXPECT_EQ(ERROR_INVALID_HANDLE, empty.ReadValueDW(u"x", &value));
  EXPECT_EQ(u"unchanged", text);
  EXPECT_EQ(3u, value);
}

}  // namespace
}  // namespace win
}  // namespace base
