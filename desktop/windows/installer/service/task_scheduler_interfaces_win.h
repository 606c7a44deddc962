// Task Scheduler ids and interfaces that the mingw-w64 headers or import
// libraries lack, written down once from their documented values: the
// class and interface ids both schedulers create, IID_IExecAction (declared
// by the headers but missing from libuuid), and the logon, boot and
// registration triggers of Task Scheduler 2.0.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_INTERFACES_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_INTERFACES_WIN_H_

#include <windows.h>
// After windows.h, whose types they use.
#include <mstask.h>
#include <taskschd.h>

// The 2.0 triggers, in the global namespace like the system's interfaces,
// so that __uuidof finds them. Slots after ITrigger's, in order.
struct ILogonTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR* user) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
__CRT_UUID_DECL(ILogonTrigger, 0x72DADE38, 0xFAE4, 0x4B3E, 0xBA, 0xF4, 0x5D,
                0x00, 0x9A, 0xF0, 0x2B, 0x1C)

struct IBootTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};
__CRT_UUID_DECL(IBootTrigger, 0x2A9C35DA, 0xD357, 0x41F4, 0xBB, 0xC1, 0x20,
                0x7A, 0xC1, 0xB1, 0xF3, 0xCB)

struct IRegistrationTrigger : public ITrigger {
  virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR* delay) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
};
__CRT_UUID_DECL(IRegistrationTrigger, 0x4C8FEC3A, 0xC218, 0x4E0C, 0xB2, 0x3D,
                0x62, 0x90, 0x24, 0xDB, 0x91, 0xA2)

namespace installer {

// Task Scheduler 2.0: the TaskScheduler class as ITaskService.
inline constexpr CLSID kClsidTaskScheduler = {
    0x0F87369F,
    0xA4E5,
    0x4CFC,
    {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
inline constexpr IID kIidTaskService = {
    0x2FABA4C7,
    0x4DA9,
    0x4013,
    {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
inline constexpr IID kIidExecAction = {
    0x4C3D624D,
    0xFD6B,
    0x49A3,
    {0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0, 0x47}};

// Task Scheduler 1.0: CTaskScheduler as ITaskScheduler, CTask as ITask.
inline constexpr CLSID kClsidCTaskScheduler = {
    0x148BD52A,
    0xA2AB,
    0x11CE,
    {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr IID kIidITaskScheduler = {
    0x148BD527,
    0xA2AB,
    0x11CE,
    {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr CLSID kClsidCTask = {
    0x148BD520,
    0xA2AB,
    0x11CE,
    {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr IID kIidITask = {
    0x148BD524,
    0xA2AB,
    0x11CE,
    {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASK_SCHEDULER_INTERFACES_WIN_H_
