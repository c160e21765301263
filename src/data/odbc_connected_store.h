// The ODBC store over a connection the engine has made and set up.

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
