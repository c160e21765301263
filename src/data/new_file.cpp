#include "data/new_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestrova::data {

// Windows' C runtime knows no "x" in fopen's mode (it would empty the file),
// so the exclusive creation is asked of open() on every platform.
std::FILE* createNewFile(const std::filesystem::path& path) {
#ifdef _WIN32
  const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
#else
  const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
#endif
  return file;
}

}  // namespace kestrova::data
