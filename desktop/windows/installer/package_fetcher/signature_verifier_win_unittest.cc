#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/package_fetcher/test/scoped_test_root_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::FilePath Exe(const std::string& name) {
  return test::MaterialPath(test::MaterialString("signed_exe." + name));
}

std::string RootDer() {
  std::string der;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(
      test::MaterialPath(test::MaterialString("root")), &der));
  return der;
}

void ExpectSigner(const std::string& signer) {
  BrandingConfig::OverrideForTesting(
      "expected_signer", std::make_unique<base::StringValue>(signer));
}

TEST(SignatureVerifierTest, IsSigned) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath text = temp.GetPath().AppendASCII("text.exe");
  ASSERT_EQ(11, base::WriteBufferToFile(text, "not a image", 11));
  const struct {
    base::FilePath path;
    bool readable;
    bool is_signed;
  } cases[] = {
      {Exe("unsigned"), true, false},
      {Exe("expected"), true, true},
      {Exe("dual"), true, true},
      {text, false, false},
      {temp.GetPath().AppendASCII("missing.exe"), false, false},
  };
  for (const auto& c : cases) {
    bool is_signed = !c.is_signed;
    EXPECT_EQ(c.readable, SignatureVerifier::IsSigned(c.path, &is_signed))
        << c.path;
    if (c.readable) {
      EXPECT_EQ(c.is_signed, is_signed) << c.path;
    }
  }
}

// One test: the root is machine-wide, so the cases that need it trusted and
// the one that needs it gone run in one process, one after the other.
TEST(SignatureVerifierTest, SignersThatCount) {
  ExpectSigner(test::MaterialString("expected_signer"));
  test::ScopedTestRoot root(RootDer());
  ASSERT_TRUE(root.is_valid());
  const struct {
    const char* exe;
    bool passes;
  } cases[] = {
      {"unsigned", false},
      {"tampered", false},
      {"expected", true},
      {"other", false},
      // Another signer outside, the expected signer nested: passes.
      {"dual", true},
      // The expected signer's signature of another file, nested.
      {"spoof", false},
      // The same, with its signed digest rewritten to this file's.
      {"forged_digest", false},
      // The same as the only signature: the file's digest matches, the
      // signature's own digest of its content does not.
      {"forged_primary", false},
      // The expected name, from a root that is not trusted.
      {"root_absent", false},
      // The expected name in other letter case.
      {"case", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.passes, SignatureVerifier::VerifySigner(Exe(c.exe))) << c.exe;

  // An unset signer matches no certificate.
  ExpectSigner("");
  EXPECT_FALSE(SignatureVerifier::VerifySigner(Exe("expected")));
  ExpectSigner(test::MaterialString("expected_signer"));

  // Without the root nothing counts, nested or not.
  ASSERT_TRUE(root.Remove());
  EXPECT_FALSE(SignatureVerifier::VerifySigner(Exe("expected")));
  EXPECT_FALSE(SignatureVerifier::VerifySigner(Exe("dual")));
}

}  // namespace
}  // namespace installer
