#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"

#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(RcL10nHandlerTest, GetLangIdUsesTheTable) {
  EXPECT_EQ(1041, RcL10nHandler::GetLangId(u"JA"));
  EXPECT_EQ(1124, RcL10nHandler::GetLangId(u"tl"));
  EXPECT_EQ(0, RcL10nHandler::GetLangId(u""));
}

TEST(RcL10nHandlerTest, CurrentLanguageIsOneObjectSharedByThreads) {
  std::atomic<LangId>* current = RcL10nHandler::CurrentLangId();
  ASSERT_EQ(current, RcL10nHandler::CurrentLangId());
  const LangId before = current->load();
  // Readers on other threads while the main thread changes the language:
  // each sees one of the values written, never a torn one.
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  std::atomic<int> bad_reads{0};
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const LangId seen = RcL10nHandler::CurrentLangId()->load();
        if (seen != before && seen != 1041 && seen != 1031) ++bad_reads;
      }
    });
  }
  for (int i = 0; i < 10000; ++i) current->store(i % 2 ? 1041 : 1031);
  stop.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(0, bad_reads.load());
  current->store(before);
}

}  // namespace
}  // namespace installer
