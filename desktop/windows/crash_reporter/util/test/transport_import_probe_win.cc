// Prints the names of the DLLs this program imports, one a line. It uses
// only the crash uploads' WinHTTP transport, so that the linker brings in
// that and what it needs: the transport's test reads the list.

#include <stdio.h>
#include <windows.h>

#include <memory>

#include "desktop/windows/crash_reporter/util/net/http_transport.h"

int main() {
  std::unique_ptr<crash_reporter::HTTPTransport> transport =
      crash_reporter::HTTPTransport::Create();
  auto* image = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  const auto* headers =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           image + imports.VirtualAddress);
       entry->Name; ++entry) {
    printf("%s\n", reinterpret_cast<const char*>(image + entry->Name));
  }
  return transport ? 0 : 1;
}
