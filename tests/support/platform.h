// What a test checks only where the platform behaves so.

#pragma once

#include <gtest/gtest.h>

// Ends the test as skipped on Windows, whose file system finds a name
// whatever its case and whose drive letters are the computer's own.
#ifdef _WIN32
#define KESTROVA_SKIP_ON_WINDOWS(why) GTEST_SKIP() << "not on Windows: " << (why)
#else
#define KESTROVA_SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

#include <string>

namespace kestrova::testing {

// A path of the build (the program, the sources) as the test reaches it:
// under Wine, the host's folders are on drive Z.
inline std::string buildPath(std::string path) {
#ifdef _WIN32
  if (path.starts_with("/")) path = "Z:" + path;
#endif
  return path;
}

}  // namespace kestrova::testing
