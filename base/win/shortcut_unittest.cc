#include "base/win/shortcut.h"

#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Props = ShortcutProperties;

// An in-memory property store: what the system's link object keeps in the
// .lnk file on Windows, and Wine does not keep at all.
class FakePropertyStore : public IPropertyStore {
 public:
  struct Stored {
    VARTYPE type = VT_EMPTY;
    std::u16string text;
    VARIANT_BOOL flag = 0;
    ULONG number = 0;
  };

  HRESULT set_value_result = S_OK;
  HRESULT commit_result = S_OK;
  int commits = 0;
  std::map<DWORD, Stored> values;  // by property id

  // IUnknown: the fake lives on the test's stack.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IPropertyStore)) {
      *out = static_cast<IPropertyStore*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    *count = static_cast<DWORD>(values.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key,
                                     PROPVARIANT* value) override {
    PropVariantInit(value);
    auto it = values.find(key.pid);
    if (it == values.end()) return S_OK;
    value->vt = it->second.type;
    if (it->second.type == VT_LPWSTR) {
      PROPVARIANT copy;
      InitPropVariantFromString(it->second.text.c_str(), &copy);
      *value = copy;
    } else if (it->second.type == VT_BOOL) {
      value->boolVal = it->second.flag;
    } else {
      value->ulVal = it->second.number;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override {
    EXPECT_TRUE(IsEqualGUID(key.fmtid, kAppUserModelIdKey.fmtid));
    if (FAILED(set_value_result)) return set_value_result;
    Stored stored;
    stored.type = value.vt;
    if (value.vt == VT_LPWSTR) stored.text = as_u16cstr(value.pwszVal);
    if (value.vt == VT_BOOL) stored.flag = value.boolVal;
    values[key.pid] = stored;
    return set_value_result;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    ++commits;
    return commit_result;
  }
};

FakePropertyStore* g_fake_store = nullptr;

HRESULT GetFakeStore(IShellLinkW*, IPropertyStore** store) {
  *store = g_fake_store;
  return S_OK;
}

class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(folder_.CreateUniqueTempDir());
    target_ = folder_.GetPath().Append(u"target.exe");
    other_target_ = folder_.GetPath().Append(u"other.exe");
    ASSERT_EQ(1, WriteBufferToFile(target_, "x", 1));
    ASSERT_EQ(1, WriteBufferToFile(other_target_, "y", 1));
    link_ = folder_.GetPath().Append(u"Velna.lnk");
  }
  void TearDown() override {
    if (previous_getter_)
      internal::SetLinkPropertyStoreGetterForTesting(previous_getter_);
    g_fake_store = nullptr;
    // COM first: the shell may still hold a link file it loaded.
    CoUninitialize();
    EXPECT_TRUE(folder_.Delete());
  }

  void UseFakeStore(FakePropertyStore* store) {
    g_fake_store = store;
    previous_getter_ =
        internal::SetLinkPropertyStoreGetterForTesting(&GetFakeStore);
  }

  Props Resolve(uint32_t mask) {
    Props read;
    EXPECT_TRUE(ResolveShortcutProperties(link_, mask, &read));
    return read;
  }

  ScopedTempDir folder_;
  FilePath target_;
  FilePath other_target_;
  FilePath link_;
  internal::LinkPropertyStoreGetter previous_getter_ = nullptr;
};

constexpr uint32_t kFileFields =
    Props::PROPERTIES_TARGET | Props::PROPERTIES_WORKING_DIR |
    Props::PROPERTIES_ARGUMENTS | Props::PROPERTIES_DESCRIPTION |
    Props::PROPERTIES_ICON;

TEST_F(ShortcutTest, CreatedShortcutResolvesBack) {
  Props written;
  written.set_target(target_);
  written.set_working_dir(folder_.GetPath());
  written.set_arguments(u"--flag \"quoted value\"");
  written.set_description(u"Velna browser");
  written.set_icon(target_, 3);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(PathExists(link_));

  const Props read = Resolve(kFileFields);
  EXPECT_EQ(kFileFields, read.options);
  EXPECT_EQ(0,
            FilePath::CompareIgnoreCase(target_.value(), read.target.value()));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(folder_.GetPath().value(),
                                           read.working_dir.value()));
  EXPECT_EQ(written.arguments, read.arguments);
  EXPECT_EQ(written.description, read.description);
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(target_.value(), read.icon.value()));
  EXPECT_EQ(3, read.icon_index);

  FilePath resolved;
  ASSERT_TRUE(ResolveShortcut(link_, &resolved));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(target_.value(), resolved.value()));
  EXPECT_TRUE(ResolveShortcut(link_, nullptr));
}

TEST_F(ShortcutTest, OnlyRequestedFieldsAreRead) {
  Props written;
  written.set_target(target_);
  written.set_arguments(u"--x");
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  const Props read = Resolve(Props::PROPERTIES_ARGUMENTS);
  EXPECT_EQ(uint32_t{Props::PROPERTIES_ARGUMENTS}, read.options);
  EXPECT_TRUE(read.target.empty());
  EXPECT_EQ(u"--x", read.arguments);
}

TEST_F(ShortcutTest, RefusedWritesLeaveNoFile) {
  Props no_target;
  no_target.set_description(u"no target");
  Props with_target;
  with_target.set_target(target_);
  struct Case {
    const char* name;
    const Props* properties;
    ShortcutWriteMode mode;
  };
  const Case cases[] = {
      {"create without target", &no_target, SHORTCUT_CREATE_ALWAYS},
      {"replace without target", &no_target, SHORTCUT_REPLACE_EXISTING},
      {"replace where none exists", &with_target, SHORTCUT_REPLACE_EXISTING},
      {"update where none exists", &with_target, SHORTCUT_UPDATE_EXISTING},
      {"unknown mode", &with_target, static_cast<ShortcutWriteMode>(3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(CreateOrUpdateShortcutLink(link_, *c.properties, c.mode));
    EXPECT_FALSE(PathExists(link_));
  }
}

TEST_F(ShortcutTest, ReplaceKeepsOldArgumentsUnlessGiven) {
  // Longer than a path: replacing must not cut it.
  const std::u16string long_arguments =
      u"--profile=" + std::u16string(600, 'p');
  Props original;
  original.set_target(target_);
  original.set_arguments(long_arguments);
  original.set_description(u"old description");
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, original, SHORTCUT_CREATE_ALWAYS));

  Props new_target;
  new_target.set_target(other_target_);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, new_target, SHORTCUT_REPLACE_EXISTING));
  Props read = Resolve(kFileFields);
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(other_target_.value(),
                                           read.target.value()));
  EXPECT_EQ(long_arguments, read.arguments);
  // A replacement is a new link: fields not given are not carried over.
  EXPECT_EQ(u"", read.description);

  Props cleared = new_target;
  cleared.set_arguments(u"");
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, cleared, SHORTCUT_REPLACE_EXISTING));
  EXPECT_EQ(u"", Resolve(kFileFields).arguments);
}

TEST_F(ShortcutTest, UpdateChangesOnlyGivenFields) {
  Props original;
  original.set_target(target_);
  original.set_arguments(u"--keep");
  original.set_description(u"before");
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, original, SHORTCUT_CREATE_ALWAYS));
  Props description_only;
  description_only.set_description(u"after");
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, description_only,
                                         SHORTCUT_UPDATE_EXISTING));
  const Props read = Resolve(kFileFields);
  EXPECT_EQ(0,
            FilePath::CompareIgnoreCase(target_.value(), read.target.value()));
  EXPECT_EQ(u"--keep", read.arguments);
  EXPECT_EQ(u"after", read.description);
}

TEST_F(ShortcutTest, CreateAlwaysReplacesAnyFile) {
  ASSERT_EQ(4, WriteBufferToFile(link_, "junk", 4));
  FilePath resolved;
  EXPECT_FALSE(ResolveShortcut(link_, &resolved));
  Props written;
  written.set_target(target_);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(ResolveShortcut(link_, &resolved));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(target_.value(), resolved.value()));
}

TEST_F(ShortcutTest, MissingShortcutDoesNotResolve) {
  FilePath resolved(u"unchanged");
  EXPECT_FALSE(ResolveShortcut(link_, &resolved));
  EXPECT_EQ(FilePath(u"unchanged"), resolved);
}

TEST_F(ShortcutTest, AppIdAndDualModeRoundTrip) {
  FakePropertyStore store;
  UseFakeStore(&store);
  Props written;
  written.set_target(target_);
  written.set_app_id(u"Velna.Browser.Stable");
  written.set_dual_mode(true);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  ASSERT_EQ(2u, store.values.size());
  EXPECT_EQ(VT_LPWSTR, store.values[5].type);
  EXPECT_EQ(VT_BOOL, store.values[11].type);
  EXPECT_EQ(VARIANT_TRUE, store.values[11].flag);
  EXPECT_EQ(2, store.commits);

  const Props read =
      Resolve(Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE);
  EXPECT_EQ(uint32_t{Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE},
            read.options);
  EXPECT_EQ(u"Velna.Browser.Stable", read.app_id);
  EXPECT_TRUE(read.dual_mode);
}

TEST_F(ShortcutTest, StoredValuesOfOtherTypes) {
  Props written;
  written.set_target(target_);
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  FakePropertyStore store;
  UseFakeStore(&store);
  const uint32_t both = Props::PROPERTIES_APP_ID | Props::PROPERTIES_DUAL_MODE;

  // Nothing stored: an empty id and no dual mode.
  Props read = Resolve(both);
  EXPECT_EQ(u"", read.app_id);
  EXPECT_FALSE(read.dual_mode);

  // Only -1 is true.
  store.values[11] = {VT_BOOL, u"", 1, 0};
  EXPECT_FALSE(Resolve(both).dual_mode);

  Props unused;
  store.values[11] = {VT_UI4, u"", 0, 1};
  EXPECT_FALSE(ResolveShortcutProperties(link_, both, &unused));
  store.values.erase(11);
  store.values[5] = {VT_UI4, u"", 0, 7};
  EXPECT_FALSE(ResolveShortcutProperties(link_, both, &unused));
}

TEST_F(ShortcutTest, RejectedAppIdWritesNothing) {
  FakePropertyStore store;
  store.set_value_result = E_FAIL;
  UseFakeStore(&store);
  Props written;
  written.set_target(target_);
  written.set_app_id(u"Velna.Browser");
  EXPECT_FALSE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(PathExists(link_));
}

// The system's own store: Windows keeps the id in the .lnk file; Wine
// accepts the write, stores nothing and cannot read it back.
TEST_F(ShortcutTest, AppIdInTheSystemStore) {
  Props written;
  written.set_target(target_);
  written.set_app_id(u"Velna.Browser");
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));
  Props read;
  if (!ResolveShortcutProperties(link_, Props::PROPERTIES_APP_ID, &read))
    GTEST_SKIP() << "this system does not store a shortcut's application id";
  EXPECT_EQ(u"Velna.Browser", read.app_id);
}

TEST(PropertyStoreTest, CommitOnlyAfterExactSuccess) {
  struct Case {
    HRESULT set_value;
    HRESULT commit;
    int commits;
    bool result;
  };
  const Case cases[] = {
      {S_OK, S_OK, 1, true},
      {S_OK, E_FAIL, 1, false},
      {S_FALSE, S_OK, 0, true},
      {E_FAIL, S_OK, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << c.set_value << " " << c.commit);
    FakePropertyStore store;
    store.set_value_result = c.set_value;
    store.commit_result = c.commit;
    EXPECT_EQ(c.result, SetStringValueForPropertyStore(
                            &store, kAppUserModelIdKey, u"id"));
    EXPECT_EQ(c.commits, store.commits);
    store.commits = 0;
    EXPECT_EQ(c.result, SetBooleanValueForPropertyStore(
                            &store, kAppUserModelIsDualModeKey, false));
    EXPECT_EQ(c.commits, store.commits);
  }
}

TEST(PropertyStoreTest, PropVariantFromString) {
  PROPVARIANT value;
  memset(&value, 0xFF, sizeof(value));
  EXPECT_EQ(E_INVALIDARG, InitPropVariantFromString(nullptr, &value));
  EXPECT_EQ(VT_EMPTY, value.vt);
  EXPECT_EQ(nullptr, value.pwszVal);

  ASSERT_EQ(S_OK, InitPropVariantFromString(u"text", &value));
  EXPECT_EQ(VT_LPWSTR, value.vt);
  EXPECT_EQ(u"text", std::u16string(as_u16cstr(value.pwszVal)));
  EXPECT_EQ(S_OK, PropVariantClear(&value));
}

struct ShellCall {
  std::u16string verb;
  std::u16string file;
  INT show;
};
std::vector<ShellCall>* g_shell_calls = nullptr;
INT_PTR g_shell_answer = 0;

HINSTANCE WINAPI FakeShellExecute(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR,
                                  LPCWSTR, INT show) {
  g_shell_calls->push_back({as_u16cstr(verb), as_u16cstr(file), show});
  return reinterpret_cast<HINSTANCE>(g_shell_answer);
}

TEST(TaskbarPinTest, VersionsThatOfferTheVerbs) {
  const struct {
    WindowsVersion version;
    bool can_pin;
  } cases[] = {{kVersionVista, false}, {kVersionWin7, true},
               {kVersionWin8, true},   {kVersionWin8_1, true},
               {kVersionWin10, false}, {kVersionWin10TH2, false}};
  for (const auto& c : cases)
    EXPECT_EQ(c.can_pin, CanPinShortcutToTaskbarOnVersion(c.version))
        << c.version;
}

TEST(TaskbarPinTest, ShellAnswerAbove32IsSuccess) {
  std::vector<ShellCall> calls;
  g_shell_calls = &calls;
  const FilePath link(u"C:\\Users\\u\\Velna.lnk");
  for (INT_PTR answer : {33, 42}) {
    g_shell_answer = answer;
    EXPECT_TRUE(internal::TaskbarVerb(link, L"taskbarpin", &FakeShellExecute));
  }
  for (INT_PTR answer : {32, 2, 0}) {
    g_shell_answer = answer;
    EXPECT_FALSE(internal::TaskbarVerb(link, L"taskbarpin", &FakeShellExecute));
  }
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ(u"taskbarpin", calls[0].verb);
  EXPECT_EQ(link.value(), calls[0].file);
  EXPECT_EQ(0, calls[0].show);

  calls.clear();
  g_shell_answer = 33;
  EXPECT_FALSE(internal::TaskbarUnpinShortcutLinkOnVersion(link, kVersionVista,
                                                           &FakeShellExecute));
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(internal::TaskbarUnpinShortcutLinkOnVersion(link, kVersionWin7,
                                                          &FakeShellExecute));
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(u"taskbarunpin", calls[0].verb);
  g_shell_calls = nullptr;
}

}  // namespace
}  // namespace win
}  // namespace base
