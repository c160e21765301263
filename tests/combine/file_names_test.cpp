// A shop copied from a system where the case of a file name does not matter
// keeps names such as "KESTROVA.MDB" or "arc2023.ARC". A file is found by its
// exact name first, else by the one name that differs only in case; when
// several do, none is opened and the user is told which names compete.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/platform.h"
#include "support/scoped_env.h"
#include "support/test_shop.h"

namespace kestrova {
namespace {

using testing::RecordingUi;
using testing::ScopedEnv;

struct NameCase {
  const char* name;
  const char* file;                    // as the shop's package names it
  bool onDriveA;                       // the file is on the diskette, not in the shop's folder
  std::vector<std::string> spellings;  // copies of the file left on the disk, in place of that name
  std::optional<std::size_t> opened;   // the spelling the combine must change; none when ambiguous
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

const std::vector<NameCase> kCases = {
    {"MainFileInCapitals", "kestrova.mdb", false, {"KESTROVA.MDB"}, 0},
    {"ExactNameBeforeOtherCase", "kestrova.mdb", false, {"kestrova.mdb", "KESTROVA.MDB"}, 0},
    {"MainFileAmbiguous", "mgmtdata.mdb", false, {"Mgmtdata.mdb", "MGMTDATA.MDB"}, std::nullopt},
    {"ArchiveInFolder", "ARC2023.arc", false, {"arc2023.ARC"}, 0},
    {"ArchiveInFolderAmbiguous", "ARC2023.arc", false, {"arc2023.arc", "Arc2023.Arc"}, std::nullopt},
    {"ArchiveOnDriveA", "ARC2023.arc", true, {"Arc2023.ARC"}, 0},
    {"ArchiveOnDriveAAmbiguous", "ARC2023.arc", true, {"arc2023.arc", "ARC2023.ARC"}, std::nullopt},
};

class FileNamesTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNamesTest, AFileIsFoundUnderTheOneNameThatDiffersOnlyInCase) {
  KESTROVA_SKIP_ON_WINDOWS("the file system finds a name whatever its case");
  const NameCase& c = GetParam();
  testing::TestShop shop;
  tools::writeSampleShop(shop.folder());
  const std::filesystem::path driveA = shop.folder() / "driveA";
  std::filesystem::create_directories(driveA);
  const ScopedEnv drive("KESTROVA_DRIVE_A", driveA.string());
  const std::filesystem::path where = c.onDriveA ? driveA : shop.folder();
  const std::string original = shop.bytes(c.file);
  std::filesystem::remove(shop.path(c.file));
  for (const std::string& spelling : c.spellings) {
    std::ofstream(where / spelling, std::ios::binary) << original;
  }

  RecordingUi ui(combine::CombineKind::kVehicle, "2000002", "2000001");
  const app::RunReport report = shop.combine(ui);

  for (std::size_t i = 0; i < c.spellings.size(); ++i) {
    const bool changed = testing::readBytes(where / c.spellings[i]) != original;
    EXPECT_EQ(changed, c.opened == i) << c.spellings[i];
  }
  EXPECT_EQ(report.everyChangeMade(), c.opened.has_value());
  std::string told;
  for (const auto& failure : report.failures) told += failure.status.message() + "\n";
  for (const auto& archive : report.archivesNotUpdated) told += archive.name + ": " + archive.reason + "\n";
  if (!c.opened) {
    for (const std::string& spelling : c.spellings) EXPECT_NE(told.find(spelling), std::string::npos) << told;
  }
  // The diskette is asked for only when the archive is not in the folder.
  EXPECT_EQ(ui.eventsStartingWith("diskette").size(), c.onDriveA ? 1u : 0u);
  // An archive that was not updated keeps its management orders on the From ID.
  if (std::string(c.file).ends_with(".arc") && !c.opened) {
    EXPECT_EQ(shop.db("mgmtdata.mdb").count("Orders", "Archive = 'ARC2023' AND AutoID = '2000002'"), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Spellings, FileNamesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrova
