#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "data/new_file.h"
#include "data/platform.h"

namespace kestrova::data {
namespace {

// `wide` in UTF-8; a lone surrogate becomes U+FFFD, or, with `exact`,
// makes the whole conversion fail.
std::optional<std::string> utf8Of(std::wstring_view wide, bool exact) {
  if (wide.empty()) return std::string();
  const DWORD flags = exact ? WC_ERR_INVALID_CHARS : 0;
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return exact ? std::nullopt : std::optional<std::string>(std::string());
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace

std::string pathToUtf8(const std::filesystem::path& path) { return *utf8Of(path.native(), false); }

std::filesystem::path pathFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
  return std::filesystem::path(wide);
}

std::optional<std::string> exactUtf8Of(const std::filesystem::path& path) { return utf8Of(path.native(), true); }

std::string environmentVariable(const char* name) {
  const std::wstring wideName(name, name + std::strlen(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  return value == nullptr ? std::string() : *utf8Of(value, false);
}

bool isLinkOrJunction(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool hasOwnDriveLetters() { return true; }

std::string withOwnSeparators(std::string_view name) { return std::string(name); }

std::vector<std::filesystem::path> settingsFolders() {
  std::vector<std::filesystem::path> folders;
  for (const char* variable : {"APPDATA", "ProgramData"}) {
    if (const std::string folder = environmentVariable(variable); !folder.empty()) {
      folders.push_back(pathFromUtf8(folder));
    }
  }
  return folders;
}

std::tm utcCalendarTime(std::time_t when) {
  std::tm parts{};
  gmtime_s(&parts, &when);
  return parts;
}

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

// Windows' C runtime knows no "x" in fopen's mode (it would empty the
// file), so the exclusive creation is asked of _wopen().
std::FILE* createNewFile(const std::filesystem::path& path) {
  const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

}  // namespace kestrova::data
