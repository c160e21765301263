// What the shop builder's writers share: a failure's words, fixed random
// numbers, the shapes of the generated IDs and dates, and a prepared INSERT
// run for many rows.

#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "shop_builder/shop_builder.h"

namespace kestrova::tools::detail {

[[noreturn]] inline void fail(sqlite3* db, std::string_view what) {
  throw std::runtime_error(std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

// Same numbers on every machine and standard library, for fixed seeds.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }

 private:
  std::uint64_t state_;
};

inline std::string numbered(long long first, std::uint64_t offset) {
  return std::to_string(first + static_cast<long long>(offset));
}

inline std::string employeeNumber(std::uint64_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%03llu-%02llu-%04llu", static_cast<unsigned long long>(500 + n / 1000000 % 400),
                static_cast<unsigned long long>(n / 10000 % 100), static_cast<unsigned long long>(n % 10000));
  return text;
}

inline std::string date(SplitMix& random) {
  char text[16];
  std::snprintf(text, sizeof text, "20%02llu-%02llu-%02llu", static_cast<unsigned long long>(15 + random.below(11)),
                static_cast<unsigned long long>(1 + random.below(12)),
                static_cast<unsigned long long>(1 + random.below(28)));
  return text;
}

inline std::string amount(SplitMix& random) { return std::to_string(10 + random.below(2000)) + ".50"; }

// Inserts many rows through one prepared statement in one transaction.
class BulkInsert {
 public:
  BulkInsert(ShopDb& db, std::string_view sql) : db_(db) {
    if (sqlite3_prepare_v2(db_.handle(), std::string(sql).c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      fail(db_.handle(), sql);
    }
  }
  ~BulkInsert() { sqlite3_finalize(statement_); }
  void add(std::initializer_list<Value> values) {
    int index = 1;
    for (const Value& value : values) {
      if (value) {
        sqlite3_bind_text(statement_, index, value->data(), static_cast<int>(value->size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(statement_, index);
      }
      ++index;
    }
    if (sqlite3_step(statement_) != SQLITE_DONE) fail(db_.handle(), "inserting a row");
    sqlite3_reset(statement_);
  }

 private:
  ShopDb& db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace kestrova::tools::detail
