// A shop file's path as the ODBC driver is to read it in a connection
// string.
//
// On Windows and Linux that is the path itself, in UTF-8. Under Wine the
// driver behind Wine's odbc32 is the host's own, which opens files by their
// host path: "C:\users\shop\kestrova.mdb" is handed on as the host file that
// drive C stands for.

#pragma once

#include <filesystem>
#include <string>

namespace kestrova::data {

std::string pathForDriver(const std::filesystem::path& path);

}  // namespace kestrova::data
