// ScopedEnv: sets or removes an environment variable for the life of a
// test and puts back what was there before. The drive mapping of the shop's
// names (KESTROVA_DRIVE_A, KESTROVA_DRIVE_C) is read from the environment.

#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace kestrova::testing {

// Sets `name` to `value`, or removes it, on every platform.
inline void setEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable on Windows.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

class ScopedEnv {
 public:
  // Sets `name` to `value`, or removes it when `value` is none.
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    setEnv(name_, value);
  }
  ~ScopedEnv() { setEnv(name_, previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace kestrova::testing
