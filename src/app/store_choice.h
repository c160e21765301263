// Which store reaches the shop's files: the SQLite store, or the ODBC store
// through a connection template (--odbc TEMPLATE on the command line, else
// KESTROVA_ODBC in the environment). Without a template, each file is
// opened as what it is: a SQLite file through the SQLite store, an Access
// file through the ODBC store over the installed Access driver. The command
// line and the window both choose here, and nowhere else is it known which
// store runs.

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "data/odbc_template.h"
#include "data/record_store.h"

namespace kestrova::app {

// The three templates shown to the user, one line each.
inline constexpr char kOdbcTemplateExamples[] =
    "Driver=SQLite3;Database={path};NoCreat=1;BigInt=1\n"
    "Driver={Microsoft Access Driver (*.mdb)};DBQ={path}\n"
    "Driver={PostgreSQL Unicode};Servername=/var/run/postgresql;Database={name}\n";

class StoreChoice {
 public:
  // Takes `option` (the --odbc value, when given) or else KESTROVA_ODBC,
  // and checks it before anything is opened: it must name {path} or {name}
  // and no other placeholder, and name a driver that is installed. Returns
  // false with the reason in `*problem` for a template that cannot be used.
  // With neither, the SQLite store is chosen.
  // The window gives the template of its settings file as `setting`, taken
  // when neither of the others is set.
  static bool choose(const std::optional<std::string>& option, StoreChoice* out, std::string* problem,
                     const std::optional<std::string>& setting = std::nullopt);

  bool usesOdbc() const { return template_.has_value(); }

  // An engine of the chosen store. `readOnly`: one that never writes, for a
  // preview.
  std::unique_ptr<data::StoreEngine> makeEngine(bool readOnly = false) const;

 private:
  std::optional<data::OdbcTemplate> template_;
};

}  // namespace kestrova::app
