#include "desktop/windows/installer/ipc/installer_message.h"

#include <string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/pickle.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes BytesOf(const base::Pickle& pickle) {
  const auto* data = static_cast<const unsigned char*>(pickle.data());
  return Bytes(data, data + pickle.size());
}

// The 28 bytes every message starts with, after its size field.
Bytes Prefix(uint32_t size_field) {
  Bytes bytes = {static_cast<unsigned char>(size_field),
                 static_cast<unsigned char>(size_field >> 8),
                 0,
                 0,
                 19,
                 0,
                 0,
                 0};
  for (const char c : std::string(":Installer message:")) bytes.push_back(c);
  bytes.push_back(0);
  return bytes;
}

void Append(Bytes* bytes, const Bytes& more) {
  bytes->insert(bytes->end(), more.begin(), more.end());
}

// Parses |bytes| as the front end receives them: framing first, then the
// fields. Empty optional-like result: false when dropped.
bool Receive(const Bytes& bytes, InstallerMessage* out) {
  // An exactly sized copy, so that the sanitizers see any read past it.
  std::unique_ptr<char[]> copy(new char[bytes.size() + 1]);
  if (!bytes.empty()) memcpy(copy.get(), bytes.data(), bytes.size());
  if (!CheckInstallerMessageFraming(copy.get(), bytes.size())) return false;
  base::Pickle view(copy.get(), bytes.size());
  return ParseInstallerMessage(view, out);
}

TEST(InstallerMessageTest, GoldenBytes) {
  Bytes step = Prefix(28);
  Append(&step, {4, 0, 0, 0});
  EXPECT_EQ(step, BytesOf(*BuildInstallerMessage(kMessageStep)));
  EXPECT_EQ(32u, BuildInstallerMessage(kMessageStep)->size());

  // 37059 = 0x90C3; a text of four units, a detail of one byte.
  Bytes error = Prefix(52);
  Append(&error, {5,   0, 0,    0, 0xC3, 0x90, 0, 0, 4, 0, 0,   0, 'C', 0,
                  ':', 0, '\\', 0, 0xE9, 0,    1, 0, 0, 0, 'x', 0, 0,   0});
  EXPECT_EQ(error, BytesOf(*BuildErrorMessage(37059, u"C:\\\u00e9", "x")));
  EXPECT_EQ(56u, error.size());

  Bytes total = Prefix(32);
  Append(&total, {3, 0, 0, 0, 9, 0, 0, 0});
  EXPECT_EQ(total, BytesOf(*BuildTotalStepsMessage(9)));

  Bytes starting = Prefix(32);
  Append(&starting, {0, 0, 0, 0, 1, 0, 0, 0});
  EXPECT_EQ(starting, BytesOf(*BuildStartingNewMainProcessMessage(true)));
}

TEST(InstallerMessageTest, EveryTypeRoundTripsAndReachesItsObserverCall) {
  struct Case {
    std::unique_ptr<base::Pickle> message;
    const char* event;
  };
  Case cases[] = {
      {BuildStartingNewMainProcessMessage(false), "StartingNewMainProcess(0)"},
      {BuildStartingNewMainProcessMessage(true), "StartingNewMainProcess(1)"},
      {BuildInstallerMessage(kMessageReturnedToPreviousMainProcess),
       "ReturnedToPreviousMainProcess"},
      {BuildInstallerMessage(kMessageStarted), "Started"},
      {BuildTotalStepsMessage(0xFFFFFFFF), "TotalSteps(4294967295)"},
      {BuildInstallerMessage(kMessageStep), "Step"},
      {BuildErrorMessage(37062, u"D:\\f\u00fcr", "Failed copying a"),
       "Error(37062,D:\\f\xc3\xbcr,Failed copying a)"},
      {BuildErrorMessage(37055, u"", ""), "Error(37055,,)"},
      {BuildInstallerMessage(kMessageSuccess), "Success"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    InstallerMessage parsed;
    ASSERT_TRUE(Receive(BytesOf(*c.message), &parsed));
    base::ObserverList<InstallerObserver> observers;
    test::RecordingInstallerObserver first, second;
    observers.AddObserver(&first);
    observers.AddObserver(&second);
    NotifyInstallerMessage(parsed, &observers);
    EXPECT_EQ(std::vector<std::string>{c.event}, first.events());
    EXPECT_EQ(first.events(), second.events());
  }
}

TEST(InstallerMessageTest, MalformedMessagesAreDropped) {
  const Bytes step = BytesOf(*BuildInstallerMessage(kMessageStep));
  const Bytes error = BytesOf(*BuildErrorMessage(37055, u"ab", "cd"));
  const Bytes total = BytesOf(*BuildTotalStepsMessage(3));
  struct Case {
    const char* name;
    std::function<Bytes()> make;
  };
  const Case cases[] = {
      {"empty", [] { return Bytes(); }},
      {"header only, claiming 28 bytes", [] { return Prefix(28); }},
      {"three bytes",
       [] {
         return Bytes{0, 0, 0};
       }},
      {"size field one short",
       [&] {
         Bytes b = step;
         b[0] = 27;
         return b;
       }},
      {"size field one over",
       [&] {
         Bytes b = step;
         b[0] = 29;
         return b;
       }},
      {"a byte too many",
       [&] {
         Bytes b = step;
         b.push_back(0);
         return b;
       }},
      {"four bytes over, size field agreeing",
       [&] {
         Bytes b = step;
         Append(&b, {0, 0, 0, 0});
         b[0] = 32;
         return b;
       }},
      {"payload not a multiple of 4, its last field unpadded",
       [&] {
         Bytes b(error.begin(), error.end() - 2);
         b[0] = static_cast<unsigned char>(b.size() - 4);
         return b;
       }},
      {"wrong signature",
       [&] {
         Bytes b = step;
         b[9] = 'i';
         return b;
       }},
      {"signature length 18",
       [&] {
         Bytes b = step;
         b[4] = 18;
         return b;
       }},
      {"negative signature length",
       [&] {
         Bytes b = step;
         b[7] = 0x80;
         return b;
       }},
      {"no type",
       [&] {
         Bytes b(step.begin(), step.begin() + 28);
         b[0] = 24;
         return b;
       }},
      {"type 7",
       [&] {
         Bytes b = step;
         b[28] = 7;
         return b;
       }},
      {"type 0xFFFFFFFF",
       [&] {
         Bytes b = step;
         b[28] = b[29] = b[30] = b[31] = 0xFF;
         return b;
       }},
      {"TOTAL_STEPS without its count",
       [&] {
         Bytes b = step;
         b[28] = 3;
         return b;
       }},
      {"STARTING_NEW_MAIN_PROCESS without its flag",
       [&] {
         Bytes b = step;
         b[28] = 0;
         return b;
       }},
      {"STEP with a payload",
       [&] {
         Bytes b = total;
         b[28] = 4;
         return b;
       }},
      {"ERROR without detail",
       [&] {
         Bytes b(error.begin(), error.end() - 8);
         b[0] = static_cast<unsigned char>(b.size() - 4);
         return b;
       }},
      {"ERROR with a text longer than the message",
       [&] {
         Bytes b = error;
         b[36] = 200;
         return b;
       }},
      {"ERROR with a negative detail length",
       [&] {
         Bytes b = error;
         b[47] = 0xFF;
         return b;
       }},
      {"3,000 bytes",
       [&] {
         Bytes b = step;
         b.resize(3000);
         const uint32_t payload = 3000 - 4;
         memcpy(b.data(), &payload, 4);
         return b;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InstallerMessage parsed;
    parsed.type = kMessageSuccess;
    EXPECT_FALSE(Receive(c.make(), &parsed));
    EXPECT_EQ(kMessageSuccess, parsed.type) << "left untouched";
  }
}

TEST(InstallerMessageTest, LongErrorsAreShortenedAtCharacterBoundaries) {
  struct Case {
    const char* name;
    std::u16string text;
    std::string detail;
    size_t expected_text_units;
    size_t expected_detail_bytes;
  };
  // 2048 bytes leave 2004 for the two padded strings.
  const Case cases[] = {
      {"exactly fits", std::u16string(2, u'a'), std::string(2000, 'd'), 2,
       2000},
      {"detail one byte over", std::u16string(2, u'a'), std::string(2001, 'd'),
       2, 2000},
      // "é" is two bytes: a cut after 1999 bytes would split one.
      {"detail cut before a two-byte character", std::u16string(2, u'a'),
       std::string(1999, 'd') + "\xc3\xa9" + "tail", 2, 1999},
      {"text alone too long", std::u16string(1500, u'x'), "detail", 1002, 0},
      {"text cut before a surrogate pair",
       std::u16string(1001, u'x') + u"\U0001F600" + u"yy", "", 1001, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<base::Pickle> message =
        BuildErrorMessage(37055, c.text, c.detail);
    EXPECT_LE(message->size(), kMaxInstallerMessageSize);
    InstallerMessage parsed;
    ASSERT_TRUE(Receive(BytesOf(*message), &parsed));
    EXPECT_EQ(c.text.substr(0, c.expected_text_units), parsed.text);
    EXPECT_EQ(c.detail.substr(0, c.expected_detail_bytes), parsed.detail);
    EXPECT_EQ(37055u, parsed.string_id);
  }
}

TEST(InstallerMessageTest, TypeNames) {
  EXPECT_STREQ("IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS",
               InstallerMessageTypeName(0));
  EXPECT_STREQ("IPC_MESSAGE_SUCCESS", InstallerMessageTypeName(6));
  EXPECT_STREQ("IPC_MESSAGE_INVALID", InstallerMessageTypeName(7));
}

}  // namespace
}  // namespace installer
