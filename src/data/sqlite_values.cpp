#include "data/sqlite_values.h"

namespace kestrova::data {

StoredValue storedValueOf(sqlite3_stmt* statement, int column) {
  StoredValue value;
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      value.type = StoredValue::Type::kInteger;
      value.integer = sqlite3_column_int64(statement, column);
      break;
    case SQLITE_FLOAT:
      value.type = StoredValue::Type::kReal;
      value.real = sqlite3_column_double(statement, column);
      break;
    case SQLITE_TEXT:
      value.type = StoredValue::Type::kText;
      value.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                         static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
      break;
    case SQLITE_BLOB: {
      value.type = StoredValue::Type::kBlob;
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, column));
      if (blob != nullptr) value.bytes.assign(blob, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
      break;
    }
    default:
      break;
  }
  return value;
}

void bindStoredValue(sqlite3_stmt* statement, int index, const StoredValue& value) {
  switch (value.type) {
    case StoredValue::Type::kNull:
      sqlite3_bind_null(statement, index);
      break;
    case StoredValue::Type::kInteger:
      sqlite3_bind_int64(statement, index, value.integer);
      break;
    case StoredValue::Type::kReal:
      sqlite3_bind_double(statement, index, value.real);
      break;
    case StoredValue::Type::kText:
      sqlite3_bind_text(statement, index, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_TRANSIENT);
      break;
    case StoredValue::Type::kBlob:
      sqlite3_bind_blob(statement, index, value.bytes.data(), static_cast<int>(value.bytes.size()), SQLITE_TRANSIENT);
      break;
  }
}

}  // namespace kestrova::data
