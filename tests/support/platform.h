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
