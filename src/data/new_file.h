// A file made anew, never one taken over: the journal and the batch report
// are created so that a file of the same name, even one that appeared a
// moment ago, is left as it was. Each platform's file (platform_posix.cpp,
// platform_windows.cpp) makes it in its own way.

#pragma once

#include <cstdio>
#include <filesystem>

namespace kestrova::data {

// Creates `path` and opens it for writing bytes; nullptr when a file of that
// name exists already or none can be made there (errno says which). The
// caller closes it.
std::FILE* createNewFile(const std::filesystem::path& path);

}  // namespace kestrova::data
