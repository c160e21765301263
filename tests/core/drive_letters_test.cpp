// Where a name on a drive points: a drive set up in the settings stands for
// its folder everywhere; one that is not is the computer's own drive on
// Windows, and not available elsewhere.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "data/drive_map.h"
#include "data/shop_path.h"

namespace kestrova {
namespace {

struct InstalledDrives {
  explicit InstalledDrives(std::map<char, std::string> folders) {
    data::installDriveFolders(std::move(folders), "combining-tool.ini");
  }
  ~InstalledDrives() { data::installDriveFolders({}, ""); }
};

TEST(DriveLettersTest, ASetUpDriveIsItsFolderAndAnotherIsTheComputersOwnOnWindowsOnly) {
#ifdef _WIN32
  const bool ownDrives = true;
  const std::string diskette = "D:\\floppy";
#else
  const bool ownDrives = false;
  const std::string diskette = "/media/floppy";
#endif
  // The environment wins over the settings; these letters are left unset in it.
  const InstalledDrives drives({{'Q', diskette}});
  struct Case {
    const char* name;
    std::filesystem::path path;  // empty: not available
  };
  const Case cases[] = {
      {"Q:ARC1.arc", std::filesystem::path(diskette) / "ARC1.arc"},
      {"q:\\old\\ARC2.arc", std::filesystem::path(diskette) / "old" / "ARC2.arc"},
      {"R:ARC1.arc", ownDrives ? std::filesystem::path("R:ARC1.arc") : std::filesystem::path()},
      {"r:\\kestrova", ownDrives ? std::filesystem::path("r:\\kestrova") : std::filesystem::path()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::path resolved;
    const data::Status status = data::resolveShopPath(c.name, &resolved);
    if (c.path.empty()) {
      EXPECT_EQ(status.code(), data::Status::Code::kFileMissing);
      EXPECT_NE(status.message().find("[drives] group of combining-tool.ini"), std::string::npos) << status.message();
      EXPECT_EQ(data::unmappedDrive(c.name), 'R');
      continue;
    }
    ASSERT_TRUE(status.isOk()) << status.message();
    EXPECT_EQ(resolved.lexically_normal(), c.path.lexically_normal());
    EXPECT_EQ(data::unmappedDrive(c.name), std::nullopt);
  }
}

}  // namespace
}  // namespace kestrova
