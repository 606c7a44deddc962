#include "desktop/windows/crash_reporter/protocol_message.h"

#include <string.h>

#include <memory>
#include <string>

#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

ProtocolMessage ValidRequest() {
  ProtocolMessage message;
  message.tag = static_cast<uint32_t>(MessageTag::kRegistrationRequest);
  message.id = 4242;
  message.dump_type = 0x40;
  message.thread_id_address = 0x1000;
  message.exception_pointers_address = 0x2000;
  message.assertion_info_address = 0x3000;
  message.custom_info_entries_address = 0x4000;
  message.custom_info_count = 100;
  return message;
}

TEST(ProtocolMessageTest, EncodesLittleEndianAtFixedOffsets) {
  ProtocolMessage message = ValidRequest();
  message.padding = 0xAABBCCDD;
  message.server_alive_handle = 0x0102030405060708;
  const ProtocolMessageBytes bytes = EncodeProtocolMessage(message);
  const uint8_t tag_and_id[] = {1, 0, 0, 0, 0x92, 0x10, 0, 0};
  EXPECT_EQ(0, memcmp(bytes.data(), tag_and_id, sizeof(tag_and_id)));
  EXPECT_EQ(bytes[12], 0xDD);
  EXPECT_EQ(bytes[16], 0x00);  // thread-id address 0x1000
  EXPECT_EQ(bytes[17], 0x10);
  EXPECT_EQ(bytes[48], 100);  // custom-info count
  EXPECT_EQ(bytes[72], 0x08);
  EXPECT_EQ(bytes[79], 0x01);

  ProtocolMessage decoded;
  ASSERT_TRUE(DecodeProtocolMessage(bytes.data(), bytes.size(), &decoded));
  EXPECT_EQ(0, memcmp(&decoded, &message, sizeof(message)));
}

TEST(ProtocolMessageTest, DecodesOnlyExactlySizedMessages) {
  const ProtocolMessageBytes bytes = EncodeProtocolMessage(ValidRequest());
  ProtocolMessage decoded;
  for (size_t size : {size_t{0}, size_t{40}, size_t{79}}) {
    // Exactly sized copies: a read past the end is caught by the
    // sanitizers.
    auto copy = std::make_unique<uint8_t[]>(size + 1);
    memcpy(copy.get(), bytes.data(), size);
    EXPECT_FALSE(DecodeProtocolMessage(copy.get(), size, &decoded)) << size;
  }
  uint8_t longer[100] = {};
  memcpy(longer, bytes.data(), bytes.size());
  EXPECT_FALSE(DecodeProtocolMessage(longer, sizeof(longer), &decoded));
  EXPECT_TRUE(DecodeProtocolMessage(bytes.data(), bytes.size(), &decoded));
}

TEST(ProtocolMessageTest, RegistrationChecks) {
  using Check = RegistrationCheck;
  const struct {
    const char* name;
    void (*change)(ProtocolMessage*);
    uint32_t pipe_pid;
    Check expected;
  } cases[] = {
      {"valid", [](ProtocolMessage*) {}, 4242, Check::kAccepted},
      {"no custom info",
       [](ProtocolMessage* m) {
         m->custom_info_entries_address = 0;
         m->custom_info_count = 0;
       },
       4242, Check::kAccepted},
      {"upload request",
       [](ProtocolMessage* m) {
         m->tag = static_cast<uint32_t>(MessageTag::kUploadRequest);
       },
       4242, Check::kUploadRequest},
      {"response tag",
       [](ProtocolMessage* m) {
         m->tag = static_cast<uint32_t>(MessageTag::kRegistrationResponse);
       },
       4242, Check::kNotRegistration},
      {"tag 0", [](ProtocolMessage* m) { m->tag = 0; }, 4242,
       Check::kNotRegistration},
      {"zero id", [](ProtocolMessage* m) { m->id = 0; }, 0,
       Check::kMissingField},
      {"zero thread id address",
       [](ProtocolMessage* m) { m->thread_id_address = 0; }, 4242,
       Check::kMissingField},
      {"zero exception pointers address",
       [](ProtocolMessage* m) { m->exception_pointers_address = 0; }, 4242,
       Check::kMissingField},
      {"zero assertion address",
       [](ProtocolMessage* m) { m->assertion_info_address = 0; }, 4242,
       Check::kMissingField},
      {"another process's id", [](ProtocolMessage*) {}, 4243,
       Check::kForgedProcessId},
      {"unknown pipe client", [](ProtocolMessage*) {}, 0,
       Check::kForgedProcessId},
  };
  for (const auto& test : cases) {
    ProtocolMessage message = ValidRequest();
    test.change(&message);
    EXPECT_EQ(CheckRegistrationRequest(message, test.pipe_pid), test.expected)
        << test.name;
  }
}

TEST(ProtocolMessageTest, ResponseNeedsItsTagIdAndThreeHandles) {
  ProtocolMessage valid;
  valid.tag = static_cast<uint32_t>(MessageTag::kRegistrationResponse);
  valid.id = 7;
  valid.dump_request_handle = 0x10;
  valid.dump_generated_handle = 0x14;
  valid.server_alive_handle = 0x18;
  EXPECT_TRUE(IsValidRegistrationResponse(valid));
  for (uint64_t ProtocolMessage::*field :
       {&ProtocolMessage::dump_request_handle,
        &ProtocolMessage::dump_generated_handle,
        &ProtocolMessage::server_alive_handle}) {
    ProtocolMessage message = valid;
    message.*field = 0;
    EXPECT_FALSE(IsValidRegistrationResponse(message));
  }
  ProtocolMessage no_id = valid;
  no_id.id = 0;
  EXPECT_FALSE(IsValidRegistrationResponse(no_id));
  ProtocolMessage request_tag = valid;
  request_tag.tag = static_cast<uint32_t>(MessageTag::kRegistrationRequest);
  EXPECT_FALSE(IsValidRegistrationResponse(request_tag));
}

TEST(ProtocolMessageTest, AssertionTextsAreCutAndNullIsEmpty) {
  const std::u16string long_text(300, u'e');
  // Unterminated and exactly 127 long: read no further than the cut.
  auto unterminated = std::make_unique<char16_t[]>(127);
  for (size_t i = 0; i < 127; ++i) unterminated[i] = u'f';

  const AssertionRecord record =
      MakeAssertionRecord(long_text.c_str(), unterminated.get(), nullptr, 88,
                          AssertionType::kInvalidParameter);
  EXPECT_EQ(std::u16string(record.expression), std::u16string(127, u'e'));
  EXPECT_EQ(std::u16string(record.function), std::u16string(127, u'f'));
  EXPECT_EQ(std::u16string(record.file), u"");
  EXPECT_EQ(record.line, 88u);
  EXPECT_EQ(record.type, 1u);

  const AssertionRecord short_texts = MakeAssertionRecord(
      u"x != nullptr", u"Run", u"a.cc", 3, AssertionType::kPureVirtualCall);
  EXPECT_EQ(std::u16string(short_texts.expression), u"x != nullptr");
  EXPECT_EQ(std::u16string(short_texts.file), u"a.cc");
  EXPECT_EQ(short_texts.type, 2u);
  // The rest of each field stays zero.
  EXPECT_EQ(short_texts.expression[12], 0);
  EXPECT_EQ(short_texts.expression[127], 0);
}

}  // namespace
}  // namespace crash_reporter
