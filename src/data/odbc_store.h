// The ODBC store over a connection the engine has made and set up: rows
// are kept by an integer identity read when a selection is opened, so
// writing the column that selected a row never drops, moves or repeats it;
// writes go into one manual-commit batch that commit() ends. It uses no
// driver cursor and no positioned update: every write is a prepared
// statement by identity.

#pragma once

#include <memory>
#include <string>

#include "data/odbc_api.h"
#include "data/odbc_errors.h"
#include "data/record_store.h"

namespace kestrova::data {

// Makes the store of one shop file over `connection`, and reads the data
// source's tables, which tells at once whether it is a database at all.
// `savepoints`: the data source takes a savepoint inside a manual-commit
// transaction, so walks share the batch.
Status openOdbcStore(std::shared_ptr<OdbcEnvironment> environment, std::unique_ptr<Connection> connection,
                     const std::string& name, OdbcSource source, bool readOnly, bool savepoints,
                     std::unique_ptr<DatabaseStore>* out);

}  // namespace kestrova::data
