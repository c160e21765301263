// A drive set up in the settings stands for its folder everywhere; one that
// is not is the computer's own drive on Windows, and not available elsewhere.

#include <gtest/gtest.h>

#include <filesystem>

#include "data/drive_map.h"
#include "data/shop_path.h"

namespace kestrova {
namespace {

TEST(DriveLettersTest, ASetUpDriveIsItsFolderAndAnotherIsTheComputersOwnOnWindowsOnly) {
#ifdef _WIN32
  const std::filesystem::path diskette = "D:\\floppy", ownR = "R:ARC1.arc";
#else
  const std::filesystem::path diskette = "/media/floppy", ownR;  // no drive R here
#endif
  // The environment wins over the settings; Q and R are left unset in it.
  data::installDriveFolders({{'Q', diskette.string()}}, "combining-tool.ini");
  const std::pair<const char*, std::filesystem::path> cases[] = {
      {"Q:ARC1.arc", diskette / "ARC1.arc"},
      {"q:\\old\\ARC2.arc", diskette / "old" / "ARC2.arc"},
      {"R:ARC1.arc", ownR},
  };
  for (const auto& [name, path] : cases) {
    std::filesystem::path resolved;
    const data::Status status = data::resolveShopPath(name, &resolved);
    EXPECT_EQ(status.isOk(), !path.empty()) << name << ": " << status.message();
    EXPECT_EQ(resolved.lexically_normal(), path.lexically_normal()) << name;
    EXPECT_EQ(data::unmappedDrive(name).has_value(), path.empty()) << name;
  }
  data::installDriveFolders({}, "");
}

}  // namespace
}  // namespace kestrova
