#include "data/shop_path.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "data/ascii_text.h"
#include "data/drive_map.h"

namespace kestrova::data {
namespace {

}  // namespace

std::filesystem::path pathFromUtf8(std::string_view text) {
  std::u8string utf8(text.size(), u8'\0');
  for (std::size_t i = 0; i < text.size(); ++i) utf8[i] = static_cast<char8_t>(text[i]);
  return std::filesystem::path(utf8);
}

std::string pathToUtf8(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

Status findShopFile(const std::filesystem::path& path, const std::string& name, std::filesystem::path* out) {
  *out = path;
  std::error_code error;
  if (std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found) return Status::ok();
  const std::string wanted = pathToUtf8(path.filename());
  if (wanted.empty()) return Status::ok();
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::vector<std::string> candidates;
  for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
       entries.increment(error)) {
    const std::string candidate = pathToUtf8(entries->path().filename());
    if (sameIgnoringCase(candidate, wanted)) candidates.push_back(candidate);
  }
  if (candidates.size() == 1) {
    *out = path.has_parent_path() ? path.parent_path() / pathFromUtf8(candidates.front())
                                  : pathFromUtf8(candidates.front());
    return Status::ok();
  }
  if (candidates.size() < 2) return Status::ok();
  std::sort(candidates.begin(), candidates.end());
  std::string list;
  for (const std::string& candidate : candidates) list += (list.empty() ? "" : ", ") + candidate;
  return Status::error(Status::Code::kNameAmbiguous, name, "opening the file",
                       "there is no file of exactly this name, and the folder holds several whose names differ from "
                       "it only in case (" +
                           list + "), so none of them was opened; rename or remove all but the right one");
}

Status resolveShopPath(std::string_view name, std::filesystem::path* out) {
  std::string local(name);
#ifndef _WIN32
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
#endif
  const char drive = driveLetterOf(local);
  if (drive == '\0') {
    *out = pathFromUtf8(local);
    return Status::ok();
  }
  const std::string folder = driveFolder(drive);
  if (folder.empty()) {
#ifdef _WIN32
    // A drive no folder is set up for is the computer's own drive.
    *out = pathFromUtf8(local);
    return Status::ok();
#else
    const std::string variable = std::string("KESTROVA_DRIVE_") + drive;
    const std::string settings =
        driveFoldersSource().empty()
            ? std::string()
            : ", or " + std::string(1, drive) + "= in the [drives] group of " + driveFoldersSource();
    return Status::error(Status::Code::kFileMissing, std::string(name), "open",
                         std::string("drive ") + drive + ": is not available on this computer (set " + variable +
                             " to the folder that stands for it" + settings + ")");
#endif
  }
  std::string rest = local.substr(2);
  while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.erase(rest.begin());
  *out = pathFromUtf8(folder) / pathFromUtf8(rest);
  return Status::ok();
}

Status findShopDatabase(const std::filesystem::path& path, const std::string& name, std::filesystem::path* out) {
  using Code = Status::Code;
  const std::string operation = "opening the file";
  Status found = findShopFile(path, name, out);
  if (!found.isOk()) return found;
  std::error_code error;
  const auto kind = std::filesystem::status(*out, error).type();
  if (kind == std::filesystem::file_type::not_found) {
    std::filesystem::path folder = std::filesystem::absolute(*out, error).parent_path();
    return Status::error(Code::kFileMissing, name, operation, "there is no such file in " + pathToUtf8(folder));
  }
  if (error) {
    return Status::error(Code::kFileMissing, name, operation, "the file cannot be reached (" + error.message() + ")");
  }
  if (kind != std::filesystem::file_type::regular) {
    return Status::error(Code::kNotADatabase, name, operation, "this is a folder or device, not a database file");
  }
  if (std::filesystem::file_size(*out, error) == 0 && !error) {
    return Status::error(Code::kNotADatabase, name, operation, "the file is empty, not a shop database");
  }
  return Status::ok();
}

bool sameShopFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::filesystem::path foundA;
  std::filesystem::path foundB;
  if (!findShopFile(a, std::string(), &foundA).isOk()) foundA = a;
  if (!findShopFile(b, std::string(), &foundB).isOk()) foundB = b;
  std::error_code error;
  if (std::filesystem::exists(foundA, error) && std::filesystem::exists(foundB, error)) {
    const bool same = std::filesystem::equivalent(foundA, foundB, error);
    if (!error) return same;
  }
  const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(foundA, error);
  if (error) return false;
  const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(foundB, error);
  return !error && canonicalA == canonicalB;
}

}  // namespace kestrova::data
