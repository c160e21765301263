#include "data/shop_path.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "data/ascii_text.h"
#include "data/drive_map.h"
#include "data/platform.h"
#include "data/utf8_text.h"
#include "data/visible_text.h"

namespace kestrova::data {
namespace {

// The parts of the name between its separators, its drive taken off; the
// last is the file's own name.
std::vector<std::string_view> partsOf(std::string_view name) {
  if (driveLetterOf(name) != '\0') name.remove_prefix(2);
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
    parts.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool isDeviceName(std::string_view part) {
  // Windows reads the part before the first dot, blanks and dots at its end
  // left out, as the device it names: "con", "CON .arc", "Com1.x".
  part = part.substr(0, std::min(part.find('.'), part.size()));
  while (!part.empty() && (part.back() == ' ' || part.back() == '.')) part.remove_suffix(1);
  const std::string base = lowered(part);
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (base == device) return true;
  }
  if (base.size() < 4 || (!base.starts_with("com") && !base.starts_with("lpt"))) return false;
  const std::string_view number = std::string_view(base).substr(3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

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
    // A name that is not text is no spelling of a name written in text.
    const std::optional<std::string> candidate = exactUtf8Of(entries->path().filename());
    if (candidate && sameIgnoringCase(*candidate, wanted)) candidates.push_back(*candidate);
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
  if (!isUtf8(name)) {
    return Status::error(Status::Code::kFileMissing, visibleText(name), "open",
                         "the name is not UTF-8 text (it may come from another code page), so it names no file");
  }
  const std::string local = withOwnSeparators(name);
  const char drive = driveLetterOf(local);
  if (drive == '\0') {
    *out = pathFromUtf8(local);
    return Status::ok();
  }
  const std::string folder = driveFolder(drive);
  if (folder.empty() && hasOwnDriveLetters()) {
    // A drive no folder is set up for is the computer's own drive.
    *out = pathFromUtf8(local);
    return Status::ok();
  }
  if (folder.empty()) {
    const std::string variable = std::string("KESTROVA_DRIVE_") + drive;
    const std::string settings =
        driveFoldersSource().empty()
            ? std::string()
            : ", or " + std::string(1, drive) + "= in the [drives] group of " + driveFoldersSource();
    return Status::error(Status::Code::kFileMissing, std::string(name), "open",
                         std::string("drive ") + drive + ": is not available on this computer (set " + variable +
                             " to the folder that stands for it" + settings + ")");
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
    return Status::noSuchFile(name, operation, pathToUtf8(folder));
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

bool namesADevice(std::string_view name) {
  const std::vector<std::string_view> parts = partsOf(name);
  return std::any_of(parts.begin(), parts.end(), isDeviceName);
}

std::optional<std::string> linkedFolderOf(std::string_view name, const std::filesystem::path& base) {
  std::vector<std::string_view> parts = partsOf(name);
  parts.pop_back();  // the file's own name
  if (parts.empty()) return std::nullopt;
  std::filesystem::path folder = base;
  if (const char drive = driveLetterOf(name); drive != '\0') {
    const std::string mapped = driveFolder(drive);
    folder = mapped.empty() ? pathFromUtf8(name.substr(0, 2)) : pathFromUtf8(mapped);
  }
  std::string written;
  for (std::string_view part : parts) {
    if (part.empty()) continue;
    folder /= pathFromUtf8(part);
    written += (written.empty() ? "" : "/") + std::string(part);
    if (isLinkOrJunction(folder)) return written;
  }
  return std::nullopt;
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
