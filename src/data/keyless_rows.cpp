#include "data/keyless_rows.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <utility>

#include "data/ascii_text.h"

namespace kestrova::data {

std::string KeylessRows::keyOf(const std::string& table, const StoredRow& values) {
  std::string key = table;
  for (const StoredField& field : values) {
    const StoredValue& value = field.value;
    key += '\0';
    key += static_cast<char>('0' + static_cast<int>(value.type));
    switch (value.type) {
      case StoredValue::Type::kNull:
        break;
      case StoredValue::Type::kInteger:
        key += std::to_string(value.integer);
        break;
      case StoredValue::Type::kReal:
        key += std::to_string(std::bit_cast<std::uint64_t>(value.real));
        break;
      case StoredValue::Type::kText:
      case StoredValue::Type::kBlob:
        key += std::to_string(value.bytes.size()) + ':' + value.bytes;
        break;
    }
  }
  return key;
}

RowId KeylessRows::add(const std::string& table, StoredRow values, std::unordered_set<RowId>* taken) {
  std::vector<RowId>& same = byValues_[keyOf(table, values)];
  for (RowId known : same) {
    if (!rows_.at(known).removed && taken->insert(known).second) return known;
  }
  const RowId row = next_--;
  rows_[row] = Row{table, std::move(values), false, std::nullopt};
  same.push_back(row);
  taken->insert(row);
  return row;
}

void KeylessRows::put(RowId row, const std::string& table, StoredRow values) {
  byValues_[keyOf(table, values)].push_back(row);
  rows_[row] = Row{table, std::move(values), false, std::nullopt};
}

const StoredRow* KeylessRows::values(RowId row) const {
  const auto found = rows_.find(row);
  return found == rows_.end() ? nullptr : &found->second.values;
}

std::vector<RowId> KeylessRows::copiesOf(RowId row, std::span<const RowId> selected) const {
  std::vector<RowId> copies;
  const auto self = rows_.find(row);
  if (self == rows_.end()) return copies;
  const auto same = byValues_.find(keyOf(self->second.table, self->second.values));
  if (same == byValues_.end()) return copies;
  for (RowId other : same->second) {
    const Row& copy = rows_.at(other);
    if (other != row && !copy.removed && !copy.along &&
        std::find(selected.begin(), selected.end(), other) != selected.end()) {
      copies.push_back(other);
    }
  }
  return copies;
}

void KeylessRows::apply(RowId id, Row* row, const Written& written) {
  if (written.removed) {
    row->removed = true;
    return;
  }
  std::erase(byValues_[keyOf(row->table, row->values)], id);
  for (const StoredField& write : written.values) {
    for (StoredField& field : row->values) {
      if (!sameIgnoringCase(field.column, write.column)) continue;
      // An integer column keeps an integer written as text, as the data
      // source does, so that the row is still found by it.
      const std::string& text = write.value.bytes;
      std::int64_t integer = 0;
      const bool whole = write.value.type == StoredValue::Type::kText &&
                         field.value.type == StoredValue::Type::kInteger && !text.empty() &&
                         std::from_chars(text.data(), text.data() + text.size(), integer).ptr ==
                             text.data() + text.size();
      field.value = whole ? StoredValue{StoredValue::Type::kInteger, integer, 0, std::string()} : write.value;
    }
  }
  byValues_[keyOf(row->table, row->values)].push_back(id);
}

void KeylessRows::wrote(RowId row, const std::vector<RowId>& copies, const Written& written) {
  if (auto found = rows_.find(row); found != rows_.end()) apply(row, &found->second, written);
  for (RowId copy : copies) {
    auto found = rows_.find(copy);
    if (found == rows_.end()) continue;
    apply(copy, &found->second, written);
    found->second.along = written;
  }
}

const KeylessRows::Written* KeylessRows::writtenAlong(RowId row) const {
  const auto found = rows_.find(row);
  return found == rows_.end() || !found->second.along ? nullptr : &*found->second.along;
}

}  // namespace kestrova::data
