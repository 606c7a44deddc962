#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Names = std::vector<std::u16string>;

class FileEnumeratorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    root_ = temp_dir_.GetPath();
  }
  void TearDown() override {
    internal::SetWalkAttributesHookForTesting(nullptr);
  }

  void Folder(const char* relative) {
    ASSERT_TRUE(FileUtil::CreateDirectory(root_.AppendASCII(relative)));
  }
  void File(const char* relative) {
    ASSERT_EQ(1, WriteBufferToFile(root_.AppendASCII(relative), "x", 1));
  }

  // The walk as paths relative to the root, in the order returned.
  Names Walk(bool recursive, int types, const std::u16string& pattern = u"") {
    FileEnumerator enumerator(root_, recursive, types, pattern);
    Names names;
    for (FilePath path = enumerator.Next(); !path.empty();
         path = enumerator.Next()) {
      FilePath relative;
      if (root_.AppendRelativePath(path, &relative))
        names.push_back(relative.value());
      else
        names.push_back(path.value());
    }
    return names;
  }

  static Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedTempDir temp_dir_;
  FilePath root_;
};

constexpr int kFilesAndFolders =
    FileEnumerator::FILES | FileEnumerator::DIRECTORIES;

// A missing root is a search that failed; an empty one is not.
TEST_F(FileEnumeratorTest, MissingRootYieldsNothingAndFails) {
  for (bool missing : {true, false}) {
    FileEnumerator enumerator(missing ? root_.AppendASCII("missing") : root_,
                              true, kFilesAndFolders);
    EXPECT_TRUE(enumerator.Next().empty());
    EXPECT_TRUE(enumerator.Next().empty());
    EXPECT_EQ(missing, enumerator.failed());
  }
}

TEST_F(FileEnumeratorTest, PatternAndTypeMaskInOneFolder) {
  File("a.txt");
  File("b.log");
  Folder("c.txt");
  File(R"(c.txt\inner.txt)");
  EXPECT_EQ((Names{u"a.txt"}), Walk(false, FileEnumerator::FILES, u"*.txt"));
  EXPECT_EQ((Names{u"c.txt"}),
            Walk(false, FileEnumerator::DIRECTORIES, u"*.txt"));
  EXPECT_EQ((Names{u"a.txt", u"b.log", u"c.txt"}),
            Sorted(Walk(false, kFilesAndFolders)));
}

TEST_F(FileEnumeratorTest, PatternFiltersOnlyTheRoot) {
  File("a.txt");
  File("b.log");
  Folder("d.txt");
  File(R"(d.txt\x.log)");
  Folder(R"(d.txt\e)");
  File(R"(d.txt\e\y.bin)");
  Folder("skipped");
  File(R"(skipped\z.txt)");
  EXPECT_EQ((Names{u"a.txt", uR"(d.txt\e\y.bin)", uR"(d.txt\x.log)"}),
            Sorted(Walk(true, FileEnumerator::FILES, u"*.txt")));
}

TEST_F(FileEnumeratorTest, DepthFirstFoldersBeforeContentsLastFoundFirst) {
  Folder(R"(A\A1)");
  File(R"(A\a.txt)");
  File(R"(A\A1\deep.txt)");
  Folder("B");
  File(R"(B\b.txt)");
  File("top.txt");
  const Names walk = Walk(true, kFilesAndFolders);
  ASSERT_EQ(7u, walk.size());
  auto position = [&walk](const char16_t* name) {
    return std::find(walk.begin(), walk.end(), name) - walk.begin();
  };
  // The root's entries come first, in the system's order.
  EXPECT_EQ((Names{u"A", u"B", u"top.txt"}),
            Sorted(Names(walk.begin(), walk.begin() + 3)));
  // Each folder is reported before its contents.
  EXPECT_LT(position(u"A"), position(uR"(A\a.txt)"));
  EXPECT_LT(position(uR"(A\A1)"), position(uR"(A\A1\deep.txt)"));
  // The folder found last is searched first and finished, with its own
  // sub-folders, before the one found before it.
  if (position(u"A") < position(u"B")) {
    EXPECT_EQ(uR"(B\b.txt)", walk[3]);
    EXPECT_EQ(uR"(A\A1\deep.txt)", walk[6]);
  } else {
    EXPECT_EQ(uR"(A\A1\deep.txt)", walk[5]);
    EXPECT_EQ(uR"(B\b.txt)", walk[6]);
  }
}

TEST_F(FileEnumeratorTest, DotIsNeverReturnedDotDotOnlyWhenAsked) {
  File("f.txt");
  Names plain = Walk(false, kFilesAndFolders);
  EXPECT_EQ((Names{u"f.txt"}), plain);
  FileEnumerator enumerator(root_, false,
                            kFilesAndFolders | FileEnumerator::INCLUDE_DOT_DOT);
  Names names;
  for (FilePath path = enumerator.Next(); !path.empty();
       path = enumerator.Next())
    names.push_back(path.BaseName().value());
  EXPECT_EQ((Names{u"..", u"f.txt"}), Sorted(names));
}

TEST_F(FileEnumeratorTest, GetInfoDescribesTheCurrentEntryAndEndsZeroed) {
  File("only.txt");
  FileEnumerator enumerator(root_, false, FileEnumerator::FILES);
  FileEnumerator::FileInfo before = enumerator.GetInfo();
  EXPECT_EQ(0u, before.dwFileAttributes);
  ASSERT_FALSE(enumerator.Next().empty());
  FileEnumerator::FileInfo info = enumerator.GetInfo();
  EXPECT_STREQ(L"only.txt", info.cFileName);
  EXPECT_EQ(1u, info.nFileSizeLow);
  EXPECT_TRUE(enumerator.Next().empty());
  FileEnumerator::FileInfo after = enumerator.GetInfo();
  FileEnumerator::FileInfo zero;
  memset(&zero, 0, sizeof(zero));
  EXPECT_EQ(0, memcmp(&zero, &after, sizeof(zero)));
}

uint32_t LinkLooksLikeJunction(const FilePath& path, uint32_t attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      path.BaseName().value() == u"link")
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes;
}

TEST_F(FileEnumeratorTest, JunctionsAreListedButNotEntered) {
  internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  Folder("link");
  File(R"(link\behind.txt)");
  Folder("real");
  File(R"(real\inside.txt)");
  EXPECT_EQ((Names{u"link", u"real", uR"(real\inside.txt)"}),
            Sorted(Walk(true, kFilesAndFolders)));
}

}  // namespace
}  // namespace base
