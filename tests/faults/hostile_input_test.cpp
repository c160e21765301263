// Hostile and odd IDs and archive names: each is refused with the kind's
// message or combined exactly, and none ever widens a selection. The
// property test draws IDs from a hostile alphabet and checks that a combine
// changes exactly the rows whose key equals the From ID, and nothing else.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/id_text.h"
#include "data/shop_path.h"
#include "data/visible_text.h"
#include "fault_support.h"
#include "support/scoped_env.h"
#include "support/recording_ui.h"
#include "support/test_shop.h"

namespace kestrova::testing {
namespace {

using combine::CombineKind;
using tools::Row;
using tools::Value;

constexpr char kArchive[] = "ARCH";

// Every row of every table of the shop, with its columns, by file and table.
struct Table {
  std::vector<std::string> columns;
  std::map<long long, Row> rows;
  bool operator==(const Table&) const = default;
};
using Shop = std::map<std::string, std::map<std::string, Table>>;

Shop readShop(const TestShop& shop) {
  Shop all;
  for (const std::string& file : shopFilesIn(shop.folder())) {
    tools::ShopDb db = shop.db(file);
    for (const Row& name : db.query("SELECT name FROM sqlite_master WHERE type = 'table'")) {
      Table& table = all[file][*name[0]];
      for (const Row& column : db.query("SELECT name FROM pragma_table_info('" + *name[0] + "')")) {
        table.columns.push_back(*column[0]);
      }
      for (Row row : db.query("SELECT rowid, * FROM \"" + *name[0] + "\"")) {
        const long long rowid = std::stoll(*row[0]);
        row.erase(row.begin());
        table.rows.emplace(rowid, std::move(row));
      }
    }
  }
  return all;
}

std::size_t columnIndex(const Table& table, const std::string& name) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i] == name) return i;
  }
  throw std::logic_error("no column " + name);
}

// What a combine of `from` into `to` makes of `before`: every row whose key
// equals `from` is re-pointed to `to`, customers' billing cycles of either
// are deleted and their accounts-receivable order numbers follow the
// payment; nothing else changes.
Shop combined(Shop shop, CombineKind kind, const std::string& from, const std::string& to) {
  const std::string key = kind == CombineKind::kVehicle ? "AutoID" : "CustID";
  const std::map<std::string, std::vector<std::string>> reach =
      kind == CombineKind::kVehicle
          ? std::map<std::string, std::vector<std::string>>{{"kestrova.mdb", {"History"}},
                                                            {"mgmtdata.mdb", {"Services", "Orders"}},
                                                            {"w_orders.mdb", {"Orders"}},
                                                            {"ARCH.arc", {"Orders"}}}
          : std::map<std::string, std::vector<std::string>>{{"kestrova.mdb", {"Automobile"}},
                                                            {"mgmtdata.mdb", {"Invoices", "Orders", "Payments"}},
                                                            {"w_orders.mdb", {"Orders"}},
                                                            {"ARCH.arc", {"Orders"}}};
  for (const auto& [file, tables] : reach) {
    for (const std::string& name : tables) {
      Table& table = shop.at(file).at(name);
      const std::size_t k = columnIndex(table, key);
      for (auto& [rowid, row] : table.rows) {
        if (row[k] != from) continue;
        row[k] = to;
        if (name == "Payments") {
          Value& number = row[columnIndex(table, "OrderNumber")];
          if (number && number->starts_with("AR")) number = "AR" + to;
        }
      }
    }
  }
  if (kind == CombineKind::kCustomer) {
    Table& billings = shop.at("mgmtdata.mdb").at("ARBillings");
    const std::size_t k = columnIndex(billings, "CustID");
    std::erase_if(billings.rows, [&](const auto& entry) { return entry.second[k] == from || entry.second[k] == to; });
  }
  return shop;
}

// Gives each key a row in every table that a vehicle or customer combine
// walks, with an order archived in ARCH.
void makeShop(TestShop& shop, const std::vector<std::string>& keys) {
  shop.createFiles();
  shop.createArchive(kArchive);
  tools::ShopDb main = shop.db("kestrova.mdb");
  tools::ShopDb management = shop.db("mgmtdata.mdb");
  tools::ShopDb workOrders = shop.db("w_orders.mdb");
  tools::ShopDb archive = shop.db(std::string(kArchive) + ".arc");
  for (tools::ShopDb* db : {&main, &management, &workOrders, &archive}) db->exec("BEGIN");
  for (const std::string& key : keys) {
    main.run("INSERT INTO History VALUES (?, '2024-01-01', 1, 'H', 1)", {key});
    main.run("INSERT INTO Automobile VALUES ('4000001', ?, 'M', 'M', 2001, 'P')", {key});
    management.run("INSERT INTO Services VALUES (?, '111-22-3333', '2024-01-01', 'S', 1)", {key});
    management.run("INSERT INTO Orders VALUES ('WO1', ?, ?, '111-22-3333', ?, '2024-01-01', 1)", {key, key, kArchive});
    management.run("INSERT INTO ARBillings VALUES (?, '2024-01-01', 1, '2024-02-01')", {key});
    management.run("INSERT INTO Invoices VALUES ('IN1', ?, '111-22-3333', '2024-01-01', 1)", {key});
    management.run("INSERT INTO Payments VALUES ('PY1', ?, ?, '2024-01-01', 1)", {key, "AR" + key});
    management.run("INSERT INTO Payments VALUES ('PY2', ?, 'WO1', '2024-01-01', 1)", {key});
    for (tools::ShopDb* orders : {&workOrders, &archive}) {
      orders->run("INSERT INTO Orders VALUES ('WO1', ?, ?, '111-22-3333', '2024-01-01', 'open')", {key, key});
    }
  }
  for (tools::ShopDb* db : {&main, &management, &workOrders, &archive}) db->exec("COMMIT");
}

std::string upper(const std::string& id) { return app::upperCased(id); }

const char* refusalOf(CombineKind kind) {
  return kind == CombineKind::kVehicle    ? "message critical: Not all vehicle IDs have been entered."
         : kind == CombineKind::kCustomer ? "message critical: Not all customer IDs have been entered."
                                          : "message critical: Not all employee IDs have been entered.";
}

// Runs one combine in `shop` and checks it against the model. Returns
// whether the IDs were refused.
bool combineAndCheck(TestShop& shop, CombineKind kind, const std::string& from, const std::string& to) {
  const Shop before = readShop(shop);
  RecordingUi ui(kind, from, to);
  const app::RunReport report = shop.combine(ui);
  const Shop after = readShop(shop);
  if (report.outcome == app::RunReport::Outcome::kRefused) {
    EXPECT_EQ(ui.eventsStartingWith("message"), std::vector<std::string>{refusalOf(kind)});
    EXPECT_TRUE(after == before) << "a refused combine changed the shop";
    return true;
  }
  EXPECT_EQ(report.outcome, app::RunReport::Outcome::kCompleted);
  EXPECT_TRUE(report.everyChangeMade()) << app::CombineCommand::closingMessage(report);
  EXPECT_TRUE(after == combined(before, kind, upper(from), upper(to)))
      << "the combine changed other rows than those of the From ID";
  return false;
}

// Keys that a careless SELECT would confuse with the hostile IDs below.
const std::vector<std::string> kNearMisses = {
    "1000001",
    "1000002",
    "",
    " ",
    "A",
    "ABCDEFG",
    "abcdefg",
    "%",
    "X",
    "'",
    "1=1",
    "2000002",
    "\xC3\x84"
    "BCDEFG" /* precomposed */,
    "AB''CDEF",
    "AB\\'CDEF",
    "1000002 ",
    " 1000002",
    "ABC%EFG",
    "ABCXEFG",
};

TEST(HostileInputTest, EachIdIsRefusedWithTheKindsMessageOrCombinedExactly) {
  struct Case {
    CombineKind kind;
    std::string from;
    bool refused;
  };
  const std::string decomposed =
      "A\xCC\x88"
      "BCDEFG";  // A and a combining diaeresis: 7 characters, 8 code points
  const std::vector<Case> cases = {
      {CombineKind::kVehicle, "AB'CDEF", false},
      {CombineKind::kVehicle, "' OR '1", false},
      {CombineKind::kCustomer, "1';--XY", false},
      {CombineKind::kCustomer, "1/*x*/2", false},
      {CombineKind::kVehicle, "%%%%%%%", false},
      {CombineKind::kVehicle, "ABC%EFG", false},
      {CombineKind::kCustomer, "_______", false},
      {CombineKind::kCustomer, "\\\\\\\\\\\\\\", false},
      {CombineKind::kVehicle, "AB\\'DEF", false},
      {CombineKind::kVehicle,
       "A\tB\nC\x01"
       "D",
       false},
      {CombineKind::kCustomer, " 123456", false},
      {CombineKind::kCustomer, "123456 ", false},
      {CombineKind::kVehicle,
       "\xC3\xA4"
       "bcdefg",
       false},  // äbcdefg: upper-cased to ÄBCDEFG
      {CombineKind::kVehicle, decomposed, false},
      {CombineKind::kVehicle,
       "\xC3\x84"
       "BCDEFGH",
       true},
      {CombineKind::kCustomer, std::string(10000, '\''), true},
      {CombineKind::kCustomer, "1000002' OR '1'='1", true},
      {CombineKind::kVehicle, "1000002 ", true},
      {CombineKind::kVehicle, std::string("ABC\0DEF", 7), true},
      {CombineKind::kEmployee, "111-22-444'", true},
      {CombineKind::kEmployee, "111'22-4444", true},
      {CombineKind::kEmployee, "111-22-4444 ", true},
      {CombineKind::kEmployee, "%%%-%%-%%%%", true},
      {CombineKind::kEmployee, "\xEF\xBC\x91\xEF\xBC\x91\xEF\xBC\x91-22-4444", true},  // full-width digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " '" + c.from + "'");
    TestShop shop;
    std::vector<std::string> keys = kNearMisses;
    keys.push_back(c.from);
    keys.push_back(upper(c.from));
    makeShop(shop, keys);
    EXPECT_EQ(combineAndCheck(shop, c.kind, c.from, "1000001"), c.refused);
  }
}

// Same numbers on every machine and standard library.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t below(std::uint64_t bound) {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return (z ^ (z >> 31)) % bound;
  }

 private:
  std::uint64_t state_;
};

// One character as a person sees it each; none joins its neighbour.
const std::vector<std::string> kHostileAlphabet = {
    "A",
    "a",
    "Z",
    "0",
    "9",
    "'",
    "\"",
    ";",
    "-",
    "/",
    "*",
    "%",
    "_",
    "\\",
    " ",
    "\t",
    "=",
    "(",
    ")",
    "#",
    "\xC3\xA4" /* ä */,
    "\xC3\x84" /* Ä */,
    "\xC3\xA9" /* é */,
    "A\xCC\x88" /* A with a combining diaeresis */,
    "\x01",
    "\n",
};

std::string randomId(SplitMix& random, int length) {
  std::string id;
  for (int i = 0; i < length; ++i) id += kHostileAlphabet[random.below(kHostileAlphabet.size())];
  return id;
}

TEST(HostileInputTest, ACombineChangesExactlyTheRowsOfTheFromId) {
  constexpr int kCases = 250;
  SplitMix random(20261208);
  std::vector<std::string> keys = kNearMisses;
  for (int i = 0; i < 40; ++i) keys.push_back(upper(randomId(random, 7)));
  TestShop shop;
  makeShop(shop, keys);

  int refused = 0;
  for (int i = 0; i < kCases; ++i) {
    const CombineKind kind = random.below(2) == 0 ? CombineKind::kVehicle : CombineKind::kCustomer;
    // Mostly a key the shop holds, so that rows move; now and then an ID of
    // the wrong length, which must be refused.
    const std::uint64_t pick = random.below(10);
    const std::string from = pick < 6   ? keys[random.below(keys.size())]
                             : pick < 9 ? randomId(random, 7)
                                        : randomId(random, random.below(2) == 0 ? 6 : 8);
    const std::string to = randomId(random, 7);
    SCOPED_TRACE("case " + std::to_string(i) + ": '" + from + "' into '" + to + "'");
    if (combineAndCheck(shop, kind, from, to)) ++refused;
    keys.push_back(upper(to));
    if (HasFailure()) return;
  }
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, kCases);
}

// An archive name is the name of a file in the shop's folder (or on the
// diskette). Odd names are opened as they stand; a name that would reach
// outside the folder, through a link too, a device's name or one that is
// not text is not opened at all, here or on the diskette: it is reported
// like an archive that cannot be opened, without asking for a diskette,
// its orders keeping the From ID.
TEST(HostileInputTest, ArchiveNamesOpenOnlyFilesInTheShopsFolder) {
  ScratchFolder outside("outside");
  struct Case {
    std::string name;
    std::filesystem::path file;  // where the name would lead, relative to the shop's folder
    bool opened;
    bool throughLink = false;  // "link" in the shop's folder leads to the folder outside
  };
  const std::vector<Case> cases = {
      {"O'Brien", "O'Brien.arc", true},
      {"two words", "two words.arc", true},
      {" ARC ", " ARC .arc", true},
      {"v1.2", "v1.2.arc", true},
      {"..", "...arc", true},
      {"sub/ARC", "sub/ARC.arc", true},
      {"../outside", "../outside.arc", false},
      {"sub/../../outside", "../outside.arc", false},
      {"..\\outside", "../outside.arc", false},
      {(outside.path() / "absolute").string(), outside.path() / "absolute.arc", false},
      {"C:ARC", "C:ARC.arc", false},
      {std::string("ARC\0X", 5), "ARC", false},
      // Shown with its control characters visible: no escape sequence or
      // line of its own reaches the user.
      {"../\x1b]0;owned\x07", "../\x1b]0;owned\x07.arc", false},
      {"/\nDone.", "../outside.arc", false},
      // Bytes from another code page: a file name on POSIX, none on Windows.
      {"ARC\xFF", data::pathFromUtf8("ARC\xFF.arc"), false},
      {"COM1", "COM1.arc", false},
      {"CON ", "CON .arc", false},
      {"sub/nul", "sub/nul.arc", false},
      {"Lpt9.old", "Lpt9.old.arc", false},
      {"COM10", "COM10.arc", true},
      {"link/ARC", outside.path() / "ARC.arc", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("archive '" + c.name + "'");
#ifdef _WIN32
    // Windows takes no control character into a file's name, and "C:ARC"
    // is a name on its drive C there.
    const bool controls = std::any_of(c.name.begin(), c.name.end(),
                                      [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
    if (controls || (c.name.find(':') != std::string::npos && !c.file.is_absolute())) continue;
    // Only an administrator makes links there; a device's name opens the device.
    if (c.throughLink) continue;
    const bool device = data::namesADevice(c.name);
#else
    const bool device = false;
#endif
    TestShop shop;
    shop.createFiles();
    const std::filesystem::path file = shop.folder() / c.file;
    if (c.throughLink) std::filesystem::create_directory_symlink(outside.path(), shop.folder() / "link");
    if (!device) {
      std::filesystem::create_directories(file.parent_path());
      std::filesystem::remove(file);
      tools::createShopFile(file, tools::ShopFile::kArchive);
      tools::ShopDb(file).run("INSERT INTO Orders VALUES ('WO1', '2000002', '1000002', '111-22-3333', '', '')", {});
    }
    shop.db("mgmtdata.mdb").run("INSERT INTO Orders VALUES ('WO1', '2000002', '1000002', '1', ?, '', 1)", {c.name});
    // Drive A is a folder of the shop: "A:" and a climbing name would lead
    // back into the shop's folder.
    std::filesystem::create_directories(shop.folder() / "a");
    testing::setEnv("KESTROVA_DRIVE_A", (shop.folder() / "a").string());
    const std::string bytes = device ? std::string() : readBytes(file);

    RecordingUi ui(CombineKind::kVehicle, "2000002", "2000001");
    const app::RunReport report = shop.combine(ui);
    testing::setEnv("KESTROVA_DRIVE_A", std::nullopt);
    const Value order = shop.db("mgmtdata.mdb").scalar("SELECT AutoID FROM Orders");
    if (c.opened) {
      EXPECT_TRUE(report.everyChangeMade()) << app::CombineCommand::closingMessage(report);
      EXPECT_EQ(tools::ShopDb(file).scalar("SELECT AutoID FROM Orders"), Value("2000001"));
      EXPECT_EQ(order, Value("2000001"));
    } else {
      if (!device) {
        EXPECT_TRUE(readBytes(file) == bytes) << "a file outside the shop's folder was changed";
      }
      EXPECT_EQ(report.archivesNotUpdated.size(), 1u);
      if (!report.archivesNotUpdated.empty()) {
        EXPECT_EQ(report.archivesNotUpdated[0].name, data::visibleText(c.name));
      }
      EXPECT_EQ(
          ui.eventsStartingWith("message exclamation"),
          std::vector<std::string>{"message exclamation: Unable to update archive file: " + data::visibleText(c.name)});
      const std::string closing = app::CombineCommand::closingMessage(report);
      EXPECT_NE(closing.find(data::visibleText(c.name)), std::string::npos) << closing;
      if (data::visibleText(c.name) != c.name) {
        EXPECT_EQ(closing.find(c.name), std::string::npos) << closing;
      }
      EXPECT_TRUE(ui.eventsStartingWith("diskette").empty()) << "a diskette that is never read was asked for";
      EXPECT_EQ(order, Value("2000002")) << "the order of an archive not updated must keep the From ID";
    }
    if (!device) std::filesystem::remove(file);
  }
}

}  // namespace
}  // namespace kestrova::testing
