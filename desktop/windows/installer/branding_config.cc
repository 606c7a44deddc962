#include "desktop/windows/installer/branding_config.h"

namespace installer {

namespace {

// The built-in default branding.
constexpr char kCompanyName[] = "Velna";
constexpr char kProductName[] = "Velna";
constexpr char kFileNameBase[] = "velna";

}  // namespace

std::string BrandingConfig::GetCompanyName() { return kCompanyName; }

std::string BrandingConfig::GetProductName() { return kProductName; }

std::string BrandingConfig::GetFileNameBase() { return kFileNameBase; }

}  // namespace installer
