#include "desktop/windows/installer/service/test/fake_shell_platform.h"

#include <atomic>
#include <utility>

#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {
namespace test {

namespace {

std::string Narrow(const wchar_t* text) {
  return text ? base::UTF16ToUTF8(base::as_u16cstr(text)) : "(null)";
}

// IUnknown for one interface, on the heap, counted.
template <typename Interface>
class FakeComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != __uuidof(IUnknown) && iid != __uuidof(Interface)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~FakeComObject() = default;

 private:
  std::atomic<ULONG> references_{0};
};

class FakeAssociationRegistration
    : public FakeComObject<IApplicationAssociationRegistration> {
 public:
  explicit FakeAssociationRegistration(FakeShellPlatform* platform)
      : platform_(platform) {}

  HRESULT STDMETHODCALLTYPE QueryCurrentDefault(LPCWSTR, ASSOCIATIONTYPE,
                                                ASSOCIATIONLEVEL,
                                                LPWSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE QueryAppIsDefault(LPCWSTR query,
                                              ASSOCIATIONTYPE type,
                                              ASSOCIATIONLEVEL level,
                                              LPCWSTR app,
                                              BOOL* is_default) override {
    platform_->calls.push_back(base::StringPrintf(
        "QueryAppIsDefault %s %d %d %s", Narrow(query).c_str(), type, level,
        Narrow(app).c_str()));
    *is_default = platform_->app_is_default;
    return platform_->query_result;
  }
  HRESULT STDMETHODCALLTYPE QueryAppIsDefaultAll(ASSOCIATIONLEVEL, LPCWSTR,
                                                 BOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetAppAsDefault(LPCWSTR app, LPCWSTR name,
                                            ASSOCIATIONTYPE type) override {
    platform_->calls.push_back(base::StringPrintf("SetAppAsDefault %s %s %d",
                                                  Narrow(app).c_str(),
                                                  Narrow(name).c_str(), type));
    return platform_->set_default_result;
  }
  HRESULT STDMETHODCALLTYPE SetAppAsDefaultAll(LPCWSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ClearUserAssociations() override {
    return E_NOTIMPL;
  }

 private:
  FakeShellPlatform* const platform_;
};

class FakeActivationManager
    : public FakeComObject<IApplicationActivationManager> {
 public:
  explicit FakeActivationManager(FakeShellPlatform* platform)
      : platform_(platform) {}

  HRESULT STDMETHODCALLTYPE ActivateApplication(LPCWSTR app_id,
                                                LPCWSTR arguments,
                                                ACTIVATEOPTIONS options,
                                                DWORD* process_id) override {
    platform_->calls.push_back(base::StringPrintf(
        "ActivateApplication %s %s %d", Narrow(app_id).c_str(),
        Narrow(arguments).c_str(), options));
    *process_id = 0;
    return platform_->activate_result;
  }
  HRESULT STDMETHODCALLTYPE ActivateForFile(LPCWSTR, IShellItemArray*, LPCWSTR,
                                            DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE ActivateForProtocol(LPCWSTR, IShellItemArray*,
                                                DWORD*) override {
    return E_NOTIMPL;
  }

 private:
  FakeShellPlatform* const platform_;
};

}  // namespace

FakeShellPlatform::FakeShellPlatform(int windows_version)
    : windows_version_(windows_version) {}

FakeShellPlatform::~FakeShellPlatform() = default;

int FakeShellPlatform::GetWindowsVersion() { return windows_version_; }

HRESULT FakeShellPlatform::CreateAssociationRegistration(
    Microsoft::WRL::ComPtr<IApplicationAssociationRegistration>* out) {
  if (real_association_registration)
    return ShellPlatform::CreateAssociationRegistration(out);
  *out = new FakeAssociationRegistration(this);
  return S_OK;
}

HRESULT FakeShellPlatform::CreateActivationManager(
    Microsoft::WRL::ComPtr<IApplicationActivationManager>* out) {
  if (real_activation_manager)
    return ShellPlatform::CreateActivationManager(out);
  *out = new FakeActivationManager(this);
  return S_OK;
}

HRESULT FakeShellPlatform::ShowOpenWithDialog(HWND owner,
                                              const OPENASINFO& info) {
  calls.push_back(base::StringPrintf("OpenWith %s 0x%x",
                                     Narrow(info.pcszFile).c_str(),
                                     static_cast<unsigned>(info.oaifInFlags)));
  return open_with_result;
}

bool FakeShellPlatform::RunOperation(Transaction* transaction,
                                     std::unique_ptr<Operation> operation) {
  if (operations_run++ == fail_operation) return false;
  return ShellPlatform::RunOperation(transaction, std::move(operation));
}

}  // namespace test
}  // namespace installer
