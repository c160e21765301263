#include "data/driver_path.h"

#include "data/shop_path.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrova::data {

#ifdef _WIN32
std::string pathForDriver(const std::filesystem::path& path) {
  // Wine's kernel32 alone offers this; on Windows it is not there.
  using HostName = char*(CDECL*)(LPCWSTR);
  static const auto hostName = reinterpret_cast<HostName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (hostName == nullptr) return pathToUtf8(path);
  char* host = hostName(path.wstring().c_str());
  if (host == nullptr) return pathToUtf8(path);
  std::string out = host;
  HeapFree(GetProcessHeap(), 0, host);
  return out;
}
#else
std::string pathForDriver(const std::filesystem::path& path) { return pathToUtf8(path); }
#endif

}  // namespace kestrova::data
