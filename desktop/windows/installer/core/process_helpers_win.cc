#include "desktop/windows/installer/core/process_helpers_win.h"

#include <windows.h>
// After windows.h.
#include <wbemidl.h>
#include <wrl/client.h>

#include <utility>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_variant.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

constexpr char16_t kWmiNamespace[] = u"ROOT\\CIMV2";
constexpr char16_t kProcessClass[] = u"Win32_Process";
constexpr char16_t kCreateMethod[] = u"Create";

// A connection to ROOT\CIMV2 with the blanket WMI calls need; null on
// failure.
ComPtr<IWbemServices> ConnectToWmi() {
  ComPtr<IWbemLocator> locator;
  HRESULT result =
      CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                       IID_IWbemLocator, &locator);
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot create the WMI locator: 0x" << std::hex << result;
    return nullptr;
  }
  base::win::ScopedBstr name(kWmiNamespace);
  ComPtr<IWbemServices> services;
  result = locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0,
                                  nullptr, nullptr, &services);
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot connect to WMI: 0x" << std::hex << result;
    return nullptr;
  }
  result = CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT,
                             RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(result)) {
    LOG(ERROR) << "Cannot set the WMI proxy blanket: 0x" << std::hex << result;
    return nullptr;
  }
  return services;
}

// The 32-bit integer |name| of |object|; false when it cannot be read.
bool ReadUint32Property(IWbemClassObject* object, const char16_t* name,
                        uint32_t* out) {
  base::win::ScopedVariant value;
  if (FAILED(object->Get(reinterpret_cast<LPCWSTR>(name), 0, value.Receive(),
                         nullptr, nullptr))) {
    return false;
  }
  switch (value.type()) {
    case VT_I4:
      *out = static_cast<uint32_t>(value.Get().lVal);
      return true;
    case VT_UI4:
      *out = value.Get().ulVal;
      return true;
    default:
      return false;
  }
}

}  // namespace

base::Process LaunchWithoutOutput(const base::CommandLine& command_line,
                                  base::LaunchOptions options) {
  return LaunchWithoutOutput(command_line.GetCommandLineString(),
                             std::move(options));
}

base::Process LaunchWithoutOutput(const std::u16string& command_line,
                                  base::LaunchOptions options) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  base::win::ScopedHandle null_device(CreateFileW(
      L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!null_device.IsValid()) {
    PLOG(ERROR) << "Cannot open the null device";
    return base::Process();
  }
  const base::HandlesToInheritVector handles = {null_device.Get()};
  options.handles_to_inherit = &handles;
  options.stdin_handle = null_device.Get();
  options.stdout_handle = null_device.Get();
  options.stderr_handle = null_device.Get();
  return base::LaunchProcess(command_line, options);
}

namespace internal {

bool CreateProcessThroughWmi(const std::u16string& command_line,
                             uint32_t* return_value, uint32_t* pid) {
  *return_value = 0;
  *pid = 0;
  ComPtr<IWbemServices> services = ConnectToWmi();
  if (!services) return false;

  base::win::ScopedBstr class_name(kProcessClass);
  base::win::ScopedBstr method_name(kCreateMethod);
  ComPtr<IWbemClassObject> process_class;
  ComPtr<IWbemClassObject> signature;
  ComPtr<IWbemClassObject> parameters;
  if (FAILED(services->GetObject(class_name.Get(), 0, nullptr, &process_class,
                                 nullptr)) ||
      FAILED(process_class->GetMethod(method_name.Get(), 0, &signature,
                                      nullptr)) ||
      !signature || FAILED(signature->SpawnInstance(0, &parameters))) {
    LOG(ERROR) << "Cannot prepare the parameters of Win32_Process.Create";
    return false;
  }
  base::win::ScopedVariant command(command_line.c_str());
  if (FAILED(parameters->Put(L"CommandLine", 0, command.AsInput(), 0))) {
    LOG(ERROR) << "Cannot set the command line of Win32_Process.Create";
    return false;
  }
  ComPtr<IWbemClassObject> results;
  if (FAILED(services->ExecMethod(class_name.Get(), method_name.Get(), 0,
                                  nullptr, parameters.Get(), &results,
                                  nullptr)) ||
      !results) {
    LOG(ERROR) << "Win32_Process.Create failed";
    return false;
  }
  if (!ReadUint32Property(results.Get(), u"ReturnValue", return_value)) {
    LOG(ERROR) << "Win32_Process.Create gave no return value";
    return false;
  }
  ReadUint32Property(results.Get(), u"ProcessId", pid);
  return true;
}

}  // namespace internal

bool LaunchProcessViaWmi(const std::u16string& command_line, uint32_t* pid) {
  uint32_t return_value = 0;
  uint32_t new_pid = 0;
  if (!internal::CreateProcessThroughWmi(command_line, &return_value,
                                         &new_pid)) {
    return false;
  }
  if (return_value != 0 || new_pid == 0) {
    LOG(ERROR) << "Win32_Process.Create answered " << return_value
               << " with process id " << new_pid;
    return false;
  }
  if (pid) *pid = new_pid;
  return true;
}

}  // namespace installer
