#include "data/engine_failures.h"

#include <utility>

namespace kestrova::data {
namespace {

using Code = Status::Code;

std::string inParentheses(std::string_view words, std::string_view detail) {
  std::string out(words);
  out += " (";
  out += detail;
  out += ')';
  return out;
}

}  // namespace

Status fileInUse(const std::string& file, std::string operation) {
  return Status::error(Code::kFileInUse, file, std::move(operation),
                       "the file is in use by another program; close the shop's programs on every "
                       "computer and run the combine again");
}

Status fileReadOnly(const std::string& file, std::string operation) {
  return Status::error(Code::kReadOnly, file, std::move(operation),
                       "the file cannot be written (it, its folder or its diskette is read-only)");
}

Status notADatabase(const std::string& file, std::string operation, std::string_view why) {
  return Status::error(Code::kNotADatabase, file, std::move(operation),
                       inParentheses("the file is not a shop database", why));
}

Status fileDamaged(const std::string& file, std::string operation) {
  return Status::error(Code::kIoError, file, std::move(operation),
                       "the database file is damaged; restore it from a backup");
}

Status diskFull(const std::string& file, std::string operation) {
  return Status::error(Code::kIoError, file, std::move(operation), "the disk is full");
}

Status fileUnreadable(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kIoError, file, std::move(operation),
                       inParentheses("the file could not be read or written", detail));
}

Status fileCannotOpen(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kFileMissing, file, std::move(operation),
                       inParentheses("the file cannot be opened", detail));
}

Status changeRefused(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kRowRefused, file, std::move(operation),
                       inParentheses("the database refused the change", detail));
}

Status noSuchTable(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kNoSuchTable, file, std::move(operation),
                       inParentheses("the file has no such table", detail));
}

Status noSuchColumn(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kNoSuchColumn, file, std::move(operation),
                       inParentheses("the table has no such column", detail));
}

Status requestRejected(const std::string& file, std::string operation, std::string_view detail) {
  return Status::error(Code::kBadRecordSource, file, std::move(operation),
                       inParentheses("the database rejected the request", detail));
}

Status rowRemovedMeanwhile(const std::string& file, std::string operation, const std::string& table) {
  return Status::error(Code::kRowGone, file, std::move(operation),
                       "a row of " + table + " was removed by another program during the combine");
}

}  // namespace kestrova::data
