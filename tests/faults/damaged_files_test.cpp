// Damaged, missing, locked and unreachable files, through the command line:
// the combine changes what it can, leaves every file it could not use
// byte for byte as it was, says so in its closing message and on standard
// error with exit status 1, and a second run once the fault is mended ends
// exactly as one run on sound files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fault_support.h"
#include "shop_builder/shop_builder.h"
#include "shop_reach.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string randomBytes(std::size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

// The first bytes of a Microsoft Access (Jet) database file.
std::string jetDatabaseBytes() {
  std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  bytes.resize(4096, '\0');
  return bytes;
}

// One shop folder with a fault in it, and the places the test needs.
struct Setting {
  fs::path shop;   // the folder the combine works in
  fs::path aside;  // where a test keeps what it took away
  fs::path driveA;
  EnvChanges env;
  const char* cannotMake = nullptr;  // why this fault cannot be made here
};

struct Fault {
  const char* name;
  const KindCase& kind;
  // The file the combine cannot use (relative to the shop's folder, or an
  // absolute path), kept byte for byte; for a missing table or column, the
  // file that has it.
  std::string file;
  std::function<void(Setting&)> make;
  std::function<void(Setting&)> mend;
  std::vector<std::string> printed;  // on standard output (the closing message)
  std::vector<std::string> listed;   // on standard error
  const char* table = nullptr;       // a table the combine could not use, left as it was
  bool needsPermissions = false;     // cannot be made when running as root
};

const KindCase& kindNamed(const char* name) {
  for (const KindCase& kind : sampleCombines()) {
    if (std::string(kind.name) == name) return kind;
  }
  throw std::logic_error(name);
}

void moveAside(Setting& s, const std::string& file) { fs::rename(s.shop / file, s.aside / file); }
void moveBack(Setting& s, const std::string& file) { fs::rename(s.aside / file, s.shop / file); }
// Keeps the file's sound bytes aside and puts `bytes` in its place.
void replaceBytes(Setting& s, const std::string& file, const std::string& bytes) {
  fs::copy_file(s.shop / file, s.aside / file);
  writeFile(s.shop / file, bytes);
}
void restoreBytes(Setting& s, const std::string& file) {
  fs::remove(s.shop / file);
  moveBack(s, file);
}

std::vector<Fault> faults() {
  const KindCase& vehicle = kindNamed("Vehicle");
  const KindCase& customer = kindNamed("Customer");
  const KindCase& employee = kindNamed("Employee");
  return {
      {"a missing file",
       vehicle,
       "kestrova.mdb",
       [](Setting& s) { moveAside(s, "kestrova.mdb"); },
       [](Setting& s) { moveBack(s, "kestrova.mdb"); },
       {"Done.", "kestrova.mdb"},
       {"kestrova.mdb", "no such file"}},
      {"random bytes",
       customer,
       "mgmtdata.mdb",
       [](Setting& s) { replaceBytes(s, "mgmtdata.mdb", randomBytes(8192)); },
       [](Setting& s) { restoreBytes(s, "mgmtdata.mdb"); },
       {"Done.", "mgmtdata.mdb"},
       {"mgmtdata.mdb", "not"}},
      {"an empty file",
       employee,
       "w_orders.mdb",
       [](Setting& s) { replaceBytes(s, "w_orders.mdb", ""); },
       [](Setting& s) { restoreBytes(s, "w_orders.mdb"); },
       {"Done.", "w_orders.mdb"},
       {"w_orders.mdb", "empty"}},
      {"an Access file as the main database",
       employee,
       "kestrova.mdb",
       [](Setting& s) { replaceBytes(s, "kestrova.mdb", jetDatabaseBytes()); },
       [](Setting& s) { restoreBytes(s, "kestrova.mdb"); },
       {"Done.", "kestrova.mdb"},
       {"kestrova.mdb", "no Microsoft Access ODBC driver is installed", "Access Database Engine"}},
      {"an Access file as an archive",
       vehicle,
       "ARC2023.arc",
       [](Setting& s) { replaceBytes(s, "ARC2023.arc", jetDatabaseBytes()); },
       [](Setting& s) { restoreBytes(s, "ARC2023.arc"); },
       {"Unable to update archive file: ARC2023", "Done.", "ARC2023"},
       {"archive not updated: ARC2023"}},
      {"a read-only file",
       customer,
       "mgmtdata.mdb",
       [](Setting& s) {
         if (!makeUnwritable(s.shop / "mgmtdata.mdb")) s.cannotMake = "no way to make a file read-only for root";
       },
       [](Setting& s) { makeWritable(s.shop / "mgmtdata.mdb"); },
       {"Done.", "mgmtdata.mdb"},
       {"mgmtdata.mdb", "cannot be written"}},
      {"a missing table",
       vehicle,
       "kestrova.mdb",
       [](Setting& s) {
         replaceBytes(s, "kestrova.mdb", readBytes(s.shop / "kestrova.mdb"));
         tools::ShopDb(s.shop / "kestrova.mdb").exec("DROP TABLE History");
       },
       [](Setting& s) { restoreBytes(s, "kestrova.mdb"); },
       {"Done.", "kestrova.mdb"},
       {"kestrova.mdb", "History"}},
      {"a missing column",
       customer,
       "mgmtdata.mdb",
       [](Setting& s) { tools::ShopDb(s.shop / "mgmtdata.mdb").exec("ALTER TABLE Payments DROP COLUMN OrderNumber"); },
       nullptr,
       {"Done.", "mgmtdata.mdb"},
       {"mgmtdata.mdb", "OrderNumber"},
       "Payments"},
      {"a missing table in an archive",
       employee,
       "ARC2023.arc",
       [](Setting& s) {
         replaceBytes(s, "ARC2023.arc", readBytes(s.shop / "ARC2023.arc"));
         tools::ShopDb(s.shop / "ARC2023.arc").exec("DROP TABLE Orders");
       },
       [](Setting& s) { restoreBytes(s, "ARC2023.arc"); },
       {"Unable to update archive file: ARC2023", "Done."},
       {"archive not updated: ARC2023", "Orders"}},
      {"an archive folder that cannot be read",
       vehicle,
       "",
       [](Setting& s) {
         fs::rename(s.shop / "ARC2024.arc", s.driveA / "ARC2024.arc");
         fs::permissions(s.driveA, fs::perms::none);
         s.env = {{"KESTROVA_DRIVE_A", s.driveA.string()}};
       },
       [](Setting& s) {
         fs::permissions(s.driveA, fs::perms::owner_all);
         fs::rename(s.driveA / "ARC2024.arc", s.shop / "ARC2024.arc");
       },
       {"Place the diskette containing the ARC2024 file in the A drive", "Unable to update archive file: ARC2024"},
       {"archive not updated: ARC2024"},
       nullptr,
       true},
      {"drive A standing for a file, not a folder",
       vehicle,
       "ARC2024.arc",
       [](Setting& s) {
         writeFile(s.aside / "not-a-folder", "x");
         moveAside(s, "ARC2024.arc");
         s.env = {{"KESTROVA_DRIVE_A", (s.aside / "not-a-folder").string()}};
       },
       [](Setting& s) { moveBack(s, "ARC2024.arc"); },
       {"Place the diskette containing the ARC2024 file in the A drive", "Unable to update archive file: ARC2024"},
       {"archive not updated: ARC2024"}},
      {"a drive that is not mapped",
       customer,
       "ARC2024.arc",
       [](Setting& s) {
         moveAside(s, "ARC2024.arc");
         s.env = {{"KESTROVA_DRIVE_A", std::nullopt}};
       },
       [](Setting& s) { moveBack(s, "ARC2024.arc"); },
       {"Place the diskette containing the ARC2024 file in the A drive", "Unable to update archive file: ARC2024"},
       {"archive not updated: ARC2024", "drive A: is not available"}},
  };
}

std::vector<std::string> withDir(const KindCase& kind, const fs::path& folder) {
  std::vector<std::string> arguments = kind.arguments;
  arguments.insert(arguments.end(), {"--dir", folder.string()});
  return arguments;
}

// The sample shop, and what one run on sound files makes of it, per kind.
class DamagedFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new ScratchFolder("damaged");
    tools::writeSampleShop(*work_ / "original");
    for (const KindCase& kind : sampleCombines()) {
      const fs::path sound = *work_ / (std::string("sound-") + kind.name);
      copyFolder(*work_ / "original", sound);
      const ProgramResult run = runCombineProgram(withDir(kind, sound));
      ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
      expected_[kind.name] = shopRows(sound);
    }
  }
  static void TearDownTestSuite() {
    delete work_;
    work_ = nullptr;
  }

  static ScratchFolder* work_;
  static std::map<std::string, ShopRows> expected_;
};

ScratchFolder* DamagedFilesTest::work_ = nullptr;
std::map<std::string, ShopRows> DamagedFilesTest::expected_;

fs::path fileOf(const Setting& s, const std::string& file) {
  return fs::path(file).is_absolute() ? fs::path(file) : s.shop / file;
}

TEST_F(DamagedFilesTest, FilesTheCombineCannotUseStayAsTheyWereAndARerunFinishes) {
  const bool permissionsIgnored = permissionsAreIgnored();
  int index = 0;
  for (const Fault& fault : faults()) {
    SCOPED_TRACE(std::string(fault.name) + ", " + fault.kind.name + " combine");
#ifdef _WIN32
    // Drive letters are the computer's own there: no drive is "not mapped".
    if (std::string_view(fault.name) == "a drive that is not mapped") continue;
#endif
    if (fault.needsPermissions && permissionsIgnored) {
      // Running as root: permissions do not stop this process or its child.
      std::printf("skipped '%s': file permissions do not stop this user\n", fault.name);
      continue;
    }
    Setting s;
    const fs::path base = *work_ / ("case" + std::to_string(index++));
    s.shop = base / "shop";
    s.aside = base / "aside";
    s.driveA = base / "driveA";
    copyFolder(*work_ / "original", s.shop);
    fs::create_directories(s.aside);
    fs::create_directories(s.driveA);
    fault.make(s);
    if (s.cannotMake != nullptr) {
      std::printf("skipped '%s': %s\n", fault.name, s.cannotMake);
      continue;
    }
    const fs::path unusable = fault.file.empty() ? s.driveA / "ARC2024.arc" : fileOf(s, fault.file);
    std::error_code unreadable;
    const bool existed = fs::exists(unusable, unreadable);
    std::string bytesBefore;
    if (existed && fault.table == nullptr && fault.needsPermissions == false) bytesBefore = readBytes(unusable);
    FileRows damagedBefore;
    if (fault.table != nullptr) damagedBefore = fileRows(unusable);

    const ProgramResult first = runCombineProgram(withDir(fault.kind, s.shop), s.env);
    EXPECT_EQ(first.exitStatus, 1) << first.out << first.err;
    for (const std::string& text : fault.printed) EXPECT_NE(first.out.find(text), std::string::npos) << text;
    for (const std::string& text : fault.listed) EXPECT_NE(first.err.find(text), std::string::npos) << text;
    EXPECT_NE(first.out.find("Done."), std::string::npos) << first.out;

    if (fault.table != nullptr) {
      // The rest of the shop is combined; the table it could not use is not.
      EXPECT_EQ(fileRows(unusable).at(fault.table), damagedBefore.at(fault.table));
      ShopRows now = shopRows(s.shop);
      ShopRows expected = expected_.at(fault.kind.name);
      const std::string name = fs::path(fault.file).filename().string();
      now[name].erase(fault.table);
      expected[name].erase(fault.table);
      EXPECT_TRUE(now == expected) << "files other than the damaged table differ from a sound run";
      continue;
    }
    if (!existed) {
      EXPECT_FALSE(fs::exists(unusable)) << "a missing file was made";
    } else if (!fault.needsPermissions) {
      EXPECT_TRUE(readBytes(unusable) == bytesBefore) << unusable << " was changed";
    }
    for (const auto& entry : fs::directory_iterator(s.shop)) {
      EXPECT_FALSE(entry.path().string().ends_with("-journal")) << entry.path();
    }

    fault.mend(s);
    const ProgramResult second = runCombineProgram(withDir(fault.kind, s.shop), s.env);
    EXPECT_EQ(second.exitStatus, 0) << second.out << second.err;
    EXPECT_TRUE(shopRows(s.shop) == expected_.at(fault.kind.name))
        << "the second run, once the fault was mended, differs from one run on sound files";
  }
}

TEST_F(DamagedFilesTest, AFileLockedLongerThanTheWaitIsLeftAndASecondRunFinishes) {
  const KindCase& kind = kindNamed("Vehicle");
  const fs::path shop = *work_ / "locked";
  copyFolder(*work_ / "original", shop);
  const std::string before = readBytes(shop / "w_orders.mdb");
  {
    // Another program holds the whole file for longer than the combine waits.
    tools::ShopDb other(shop / "w_orders.mdb");
    other.exec("BEGIN EXCLUSIVE");
    const ProgramResult first = runCombineProgram(withDir(kind, shop));
    EXPECT_EQ(first.exitStatus, 1) << first.out << first.err;
    EXPECT_NE(first.err.find("w_orders.mdb"), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("in use by another program"), std::string::npos) << first.err;
    EXPECT_NE(first.out.find("w_orders.mdb"), std::string::npos) << first.out;
    other.exec("ROLLBACK");
  }
  EXPECT_TRUE(readBytes(shop / "w_orders.mdb") == before);
  const ProgramResult second = runCombineProgram(withDir(kind, shop));
  EXPECT_EQ(second.exitStatus, 0) << second.out << second.err;
  EXPECT_TRUE(shopRows(shop) == expected_.at(kind.name));
}

}  // namespace
}  // namespace kestrova::testing
