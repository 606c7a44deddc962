#include "components/prefs/json_pref_store.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/scoped_temp_dir.h"
#include "base/threading/thread.h"
#include "gtest/gtest.h"

namespace prefs {
namespace {

using base::DictionaryValue;
using base::FilePath;
using base::FundamentalValue;
using base::StringValue;
using base::Value;

std::unique_ptr<Value> Int(int value) {
  return std::make_unique<FundamentalValue>(value);
}

class RecordingObserver : public PrefStore::Observer {
 public:
  void OnPrefValueChanged(const std::string& key) override {
    changed.push_back(key);
  }
  void OnInitializationCompleted(bool succeeded) override {
    completions.push_back(succeeded);
    if (quit) quit.Run();
  }

  std::vector<std::string> changed;
  std::vector<bool> completions;
  base::Closure quit;
};

class RecordingErrorDelegate : public PersistentPrefStore::ReadErrorDelegate {
 public:
  explicit RecordingErrorDelegate(std::vector<PrefReadError>* errors)
      : errors_(errors) {}
  void OnError(PrefReadError error) override { errors_->push_back(error); }

 private:
  std::vector<PrefReadError>* const errors_;
};

// Holds the loaded values back until the test releases them.
class DeferringFilter : public PrefFilter {
 public:
  void FilterOnLoad(
      const PostFilterOnLoadCallback& post_filter_on_load,
      std::unique_ptr<DictionaryValue> pref_store_contents) override {
    callback = post_filter_on_load;
    contents = std::move(pref_store_contents);
  }
  void FilterUpdate(const std::string& path) override {
    updates.push_back(path);
  }
  void FilterSerializeData(DictionaryValue* pref_store_contents) override {
    pref_store_contents->SetBoolean("filtered", true);
  }

  PostFilterOnLoadCallback callback;
  std::unique_ptr<DictionaryValue> contents;
  std::vector<std::string> updates;
};

class JsonPrefStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().AppendASCII("Preferences");
    ASSERT_TRUE(file_thread_.Start());
  }

  base::ScopedRefPtr<JsonPrefStore> MakeStore(
      const FilePath& path, std::unique_ptr<PrefFilter> filter = nullptr) {
    return base::MakeRefCounted<JsonPrefStore>(path, file_thread_.task_runner(),
                                               std::move(filter));
  }

  void WriteFile(const FilePath& path, const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteBufferToFile(path, contents.data(),
                                      static_cast<int>(contents.size())));
  }

  std::string ReadFile(const FilePath& path) {
    std::string contents;
    if (!base::FileUtil::ReadFileToString(path, &contents)) return "<none>";
    return contents;
  }

  // Waits until the file thread has run what was posted to it so far, and
  // the replies have come back.
  void Flush() {
    base::RunLoop run_loop;
    file_thread_.task_runner()->PostTaskAndReply(
        CURRENT_LOCATION, base::Bind([] {}), run_loop.QuitClosure());
    run_loop.Run();
  }

  base::MessageLoop loop_;
  base::ScopedTempDir temp_dir_;
  FilePath path_;
  base::Thread file_thread_{"JsonPrefStoreTest file"};
};

// What each kind of file gives: the read error, whether the store may
// write, what it holds, and what happens to the file.
TEST_F(JsonPrefStoreTest, ReadOutcomes) {
  struct Case {
    const char* name;
    const char* contents;  // null: no file
    PrefReadError error;
    bool read_only;
    bool has_value;  // holds "a" == 1
    bool moved_to_bad;
  };
  const Case kCases[] = {
      {"valid", "{\"a\":1,\"b\":{\"c\":\"x\"}}", PREF_READ_ERROR_NONE, false,
       true, false},
      {"missing", nullptr, PREF_READ_ERROR_NO_FILE, false, false, false},
      {"list", "[1,2]", PREF_READ_ERROR_JSON_TYPE, true, false, false},
      {"string", "\"text\"", PREF_READ_ERROR_JSON_TYPE, true, false, false},
      {"broken", "{\"a\":1", PREF_READ_ERROR_JSON_PARSE, false, false, true},
      {"trailing comma", "{\"a\":1,}", PREF_READ_ERROR_JSON_PARSE, false, false,
       true},
  };
  for (const Case& test : kCases) {
    SCOPED_TRACE(test.name);
    const FilePath path =
        temp_dir_.GetPath().AppendASCII(std::string(test.name) + ".json");
    if (test.contents) WriteFile(path, test.contents);
    auto store = MakeStore(path);
    EXPECT_EQ(test.error, store->ReadPrefs());
    EXPECT_EQ(test.error, store->GetReadError());
    EXPECT_TRUE(store->IsInitializationComplete());
    EXPECT_EQ(test.read_only, store->ReadOnly());
    const Value* value = nullptr;
    EXPECT_EQ(test.has_value, store->GetValue("a", &value));
    if (test.has_value) {
      int number = 0;
      EXPECT_TRUE(value->GetAsInteger(&number));
      EXPECT_EQ(1, number);
      std::string nested;
      ASSERT_TRUE(store->GetValue("b.c", &value));
      EXPECT_TRUE(value->GetAsString(&nested));
      EXPECT_EQ("x", nested);
    }
    const FilePath bad = path.ReplaceExtension(u"bad");
    EXPECT_EQ(test.moved_to_bad, base::PathExists(bad));
    if (test.moved_to_bad) {
      EXPECT_FALSE(base::PathExists(path));
      EXPECT_EQ(test.contents, ReadFile(bad));
    }
  }
}

TEST_F(JsonPrefStoreTest, SecondCorruptFileReplacesTheFirstBadFile) {
  WriteFile(path_, "{broken one");
  EXPECT_EQ(PREF_READ_ERROR_JSON_PARSE, MakeStore(path_)->ReadPrefs());
  WriteFile(path_, "{broken two");
  EXPECT_EQ(PREF_READ_ERROR_JSON_REPEAT, MakeStore(path_)->ReadPrefs());
  EXPECT_EQ("{broken two", ReadFile(path_.ReplaceExtension(u"bad")));
  EXPECT_FALSE(base::PathExists(path_));
}

// A corrupt file is kept aside and the store starts empty; its first change
// writes a fresh file.
TEST_F(JsonPrefStoreTest, CorruptFileIsMovedAsideAndStoreStartsEmpty) {
  WriteFile(path_, "{\"install\": {\"folder\": ");
  auto store = MakeStore(path_);
  EXPECT_EQ(PREF_READ_ERROR_JSON_PARSE, store->ReadPrefs());
  EXPECT_FALSE(store->GetValue("install", nullptr));
  store->SetValue("install.folder", std::make_unique<StringValue>("C:\\V"), 0);
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"install\":{\"folder\":\"C:\\\\V\"}}", ReadFile(path_));
  EXPECT_EQ("{\"install\": {\"folder\": ",
            ReadFile(path_.ReplaceExtension(u"bad")));
}

// A value nested deeper than the reader accepts would make the next start
// move the whole file aside. Its write fails instead: the file on disk stays
// the last good one, and a restart still finds every other value.
TEST_F(JsonPrefStoreTest, TooDeepValueKeepsTheLastGoodFile) {
  {
    auto store = MakeStore(path_);
    store->ReadPrefs();
    store->SetValue("keep_me", Int(42), 0);
    store->CommitPendingWrite();
    Flush();
    ASSERT_EQ("{\"keep_me\":42}", ReadFile(path_));

    std::unique_ptr<Value> deep = Int(1);
    for (int i = 0; i < base::JSONReader::kMaxContainerDepth; ++i) {
      auto list = std::make_unique<base::ListValue>();
      list->Append(std::move(deep));
      deep = std::move(list);
    }
    // With the root dictionary, one container more than the reader takes.
    store->SetValue("deep", std::move(deep), 0);
    store->SetValue("later", Int(7), 0);
    store->CommitPendingWrite();
    Flush();
    EXPECT_EQ("{\"keep_me\":42}", ReadFile(path_));
    EXPECT_FALSE(store->HasPendingWriteForTesting());
  }
  Flush();
  EXPECT_EQ("{\"keep_me\":42}", ReadFile(path_));

  auto restarted = MakeStore(path_);
  EXPECT_EQ(PREF_READ_ERROR_NONE, restarted->ReadPrefs());
  const Value* value = nullptr;
  ASSERT_TRUE(restarted->GetValue("keep_me", &value));
  int number = 0;
  EXPECT_TRUE(value->GetAsInteger(&number));
  EXPECT_EQ(42, number);
  EXPECT_FALSE(base::PathExists(path_.ReplaceExtension(u"bad")));
}

// A file that is not a dictionary is never overwritten, however the store
// is changed, committed or destroyed.
TEST_F(JsonPrefStoreTest, ReadOnlyStoreNeverWrites) {
  WriteFile(path_, "[\"keep\", \"me\"]");
  {
    auto store = MakeStore(path_);
    ASSERT_EQ(PREF_READ_ERROR_JSON_TYPE, store->ReadPrefs());
    store->SetValue("a", Int(1), 0);
    store->SetValue("b", Int(2), LOSSY_PREF_WRITE_FLAG);
    store->SetValueSilently("c", Int(3), 0);
    EXPECT_FALSE(store->HasPendingWriteForTesting());
    store->SchedulePendingLossyWrites();
    store->CommitPendingWrite();
    // The changes live on in memory.
    EXPECT_TRUE(store->GetValue("a", nullptr));
  }
  Flush();
  EXPECT_EQ("[\"keep\", \"me\"]", ReadFile(path_));
  EXPECT_FALSE(base::PathExists(path_.ReplaceExtension(u"bad")));
}

TEST_F(JsonPrefStoreTest, EqualValueNotifiesNobodyAndSchedulesNothing) {
  WriteFile(path_, "{\"a\":1,\"s\":\"x\"}");
  auto store = MakeStore(path_);
  RecordingObserver observer;
  store->AddObserver(&observer);
  ASSERT_EQ(PREF_READ_ERROR_NONE, store->ReadPrefs());
  store->SetValue("a", Int(1), 0);
  store->SetValue("s", std::make_unique<StringValue>("x"), 0);
  store->SetValueSilently("a", Int(1), 0);
  EXPECT_TRUE(observer.changed.empty());
  EXPECT_FALSE(store->HasPendingWriteForTesting());

  store->SetValue("a", Int(2), 0);
  EXPECT_EQ(std::vector<std::string>{"a"}, observer.changed);
  EXPECT_TRUE(store->HasPendingWriteForTesting());
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, SilentSetWritesWithoutNotifying) {
  auto store = MakeStore(path_);
  RecordingObserver observer;
  store->AddObserver(&observer);
  store->ReadPrefs();
  store->SetValueSilently("quiet", Int(7), 0);
  EXPECT_TRUE(observer.changed.empty());
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"quiet\":7}", ReadFile(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, RemovingTheLastNestedKeyRemovesEmptiedParents) {
  WriteFile(path_, "{\"a\":{\"b\":{\"c\":1}},\"d\":2}");
  auto store = MakeStore(path_);
  RecordingObserver observer;
  store->AddObserver(&observer);
  store->ReadPrefs();
  store->RemoveValue("a.b.missing", 0);
  EXPECT_TRUE(observer.changed.empty());
  store->RemoveValue("a.b.c", 0);
  EXPECT_EQ(std::vector<std::string>{"a.b.c"}, observer.changed);
  EXPECT_FALSE(store->GetValue("a", nullptr));
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"d\":2}", ReadFile(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, LossyChangesWaitForAnOrdinaryWriteOrACommit) {
  auto store = MakeStore(path_);
  store->ReadPrefs();
  store->SetValue("lossy", Int(1), LOSSY_PREF_WRITE_FLAG);
  EXPECT_FALSE(store->HasPendingWriteForTesting());
  store->SchedulePendingLossyWrites();
  EXPECT_TRUE(store->HasPendingWriteForTesting());
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"lossy\":1}", ReadFile(path_));

  // Once written, the lossy flag is cleared: a lone lossy change waits
  // again, and an ordinary change takes it along.
  store->SetValue("lossy", Int(2), LOSSY_PREF_WRITE_FLAG);
  store->SchedulePendingLossyWrites();
  store->CommitPendingWrite();
  Flush();
  store->SetValue("lossy", Int(3), LOSSY_PREF_WRITE_FLAG);
  store->SchedulePendingLossyWrites();
  EXPECT_TRUE(store->HasPendingWriteForTesting());
  store->CommitPendingWrite();
  Flush();
  store->SchedulePendingLossyWrites();
  EXPECT_FALSE(store->HasPendingWriteForTesting());
  store->SetValue("lossy", Int(4), LOSSY_PREF_WRITE_FLAG);
  store->SetValue("plain", Int(5), 0);
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"lossy\":4,\"plain\":5}", ReadFile(path_));
}

TEST_F(JsonPrefStoreTest, DestroyingTheStoreWritesThePendingChange) {
  {
    auto store = MakeStore(path_);
    store->ReadPrefs();
    store->SetValue("last", std::make_unique<StringValue>("words"), 0);
    EXPECT_TRUE(store->HasPendingWriteForTesting());
  }
  Flush();
  EXPECT_EQ("{\"last\":\"words\"}", ReadFile(path_));
}

TEST_F(JsonPrefStoreTest, AsyncReadTellsObserversAndTheErrorDelegate) {
  WriteFile(path_, "[1]");
  auto store = MakeStore(path_);
  RecordingObserver observer;
  base::RunLoop run_loop;
  observer.quit = run_loop.QuitClosure();
  store->AddObserver(&observer);
  std::vector<PrefReadError> errors;
  store->ReadPrefsAsync(new RecordingErrorDelegate(&errors));
  EXPECT_FALSE(store->IsInitializationComplete());
  run_loop.Run();
  EXPECT_EQ(std::vector<bool>{true}, observer.completions);
  EXPECT_EQ(std::vector<PrefReadError>{PREF_READ_ERROR_JSON_TYPE}, errors);
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_TRUE(store->ReadOnly());
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, AsyncReadReplyAfterTheStoreIsGoneIsDropped) {
  WriteFile(path_, "{\"a\":1}");
  auto store = MakeStore(path_);
  store->ReadPrefsAsync(nullptr);
  store = nullptr;
  Flush();
  EXPECT_EQ("{\"a\":1}", ReadFile(path_));
}

TEST_F(JsonPrefStoreTest, MissingFolderLeavesTheStoreUninitialized) {
  auto store =
      MakeStore(temp_dir_.GetPath().AppendASCII("gone").AppendASCII("Prefs"));
  RecordingObserver observer;
  store->AddObserver(&observer);
  EXPECT_EQ(PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_EQ(std::vector<bool>{false}, observer.completions);
  EXPECT_FALSE(store->IsInitializationComplete());
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, AlternateFileIsMovedIntoPlace) {
  const FilePath alternate = temp_dir_.GetPath().AppendASCII("Old Prefs");
  WriteFile(alternate, "{\"from\":\"alternate\"}");
  auto store = base::MakeRefCounted<JsonPrefStore>(
      path_, alternate, file_thread_.task_runner(), nullptr);
  EXPECT_EQ(PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_TRUE(store->GetValue("from", nullptr));
  EXPECT_FALSE(base::PathExists(alternate));
  EXPECT_TRUE(base::PathExists(path_));
}

TEST_F(JsonPrefStoreTest, FilterHoldsTheLoadUntilItIsDone) {
  WriteFile(path_, "{\"a\":1}");
  auto filter = std::make_unique<DeferringFilter>();
  DeferringFilter* filter_view = filter.get();
  auto store = MakeStore(path_, std::move(filter));
  RecordingObserver observer;
  store->AddObserver(&observer);
  EXPECT_EQ(PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE, store->ReadPrefs());
  EXPECT_FALSE(store->IsInitializationComplete());
  ASSERT_TRUE(filter_view->contents);
  filter_view->contents->SetInteger("added", 2);
  filter_view->callback.Run(std::move(filter_view->contents), true);
  EXPECT_TRUE(store->IsInitializationComplete());
  EXPECT_EQ(std::vector<bool>{true}, observer.completions);
  EXPECT_TRUE(store->HasPendingWriteForTesting());

  store->SetValue("b", Int(3), 0);
  EXPECT_EQ(std::vector<std::string>{"b"}, filter_view->updates);
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"a\":1,\"added\":2,\"b\":3,\"filtered\":true}", ReadFile(path_));
  store->RemoveObserver(&observer);
}

TEST_F(JsonPrefStoreTest, MutableValueChangesAreWrittenWhenReported) {
  WriteFile(path_, "{\"list\":[1]}");
  auto store = MakeStore(path_);
  store->ReadPrefs();
  Value* value = nullptr;
  ASSERT_TRUE(store->GetMutableValue("list", &value));
  base::ListValue* list = nullptr;
  ASSERT_TRUE(value->GetAsList(&list));
  list->AppendInteger(2);
  EXPECT_FALSE(store->HasPendingWriteForTesting());
  store->ReportValueChanged("list", 0);
  store->CommitPendingWrite();
  Flush();
  EXPECT_EQ("{\"list\":[1,2]}", ReadFile(path_));
}

}  // namespace
}  // namespace prefs
