#include "desktop/windows/crash_reporter/own_crash_log.h"

#include <stdio.h>

#include <string>

#include "desktop/windows/crash_reporter/test/scratch_stream.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

std::string Write(const CrashLogInfo& info, const std::u16string& image,
                  uint32_t code, uint64_t address, const std::string& dump) {
  test::ScratchStream stream;
  EXPECT_TRUE(stream.get());
  if (!stream.get()) return "";
  EXPECT_TRUE(WriteOwnCrashLog(stream.get(), info, image, code, address, dump));
  return stream.ReadAll();
}

TEST(OwnCrashLogTest, HeaderMetadataAndTheRawMinidump) {
  CrashLogInfo info;
  info.product_suffix = "-s";
  info.version = "41.0.2353.23";
  info.build = "730997";
  info.metadata = {{"process_type", "crash_reporter"}};
  const std::string dump("MDMP\x93\xa7\0\0\r\n\x1a", 11);
  EXPECT_EQ(
      "VELNA-CRASHLOG V1 desktop-s 41.0.2353.23 730997 windows x64 release\r\n"
      "r\xc3\xa9porter.exe caused exception C0000005 at address "
      "7FFABCDEF0123456 (BASE: 00000000)\r\n"
      "\r\nmetadata:\r\n"
      "process_type=\"crash_reporter\"\r\n"
      "\r\nminidump:\r\n" +
          dump,
      Write(info, u"r\u00e9porter.exe", 0xC0000005, 0x7FFABCDEF0123456, dump));
}

TEST(OwnCrashLogTest, WithoutMetadataOrException) {
  EXPECT_EQ(
      "VELNA-CRASHLOG V1 desktop   windows x64 release\r\n"
      "a b.exe caused exception 0 at address 000000000000 (BASE: 00000000)\r\n"
      "\r\nminidump:\r\n",
      Write(CrashLogInfo(), u"a\nb.exe", 0, 0, ""));
}

}  // namespace

}  // namespace crash_reporter
