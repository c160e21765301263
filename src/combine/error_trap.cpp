#include "combine/error_trap.h"

namespace kestrova::combine {
namespace {

bool sameFailure(const data::Status& a, const data::Status& b) {
  return a.code() == b.code() && a.file() == b.file() && a.operation() == b.operation() && a.reason() == b.reason();
}

}  // namespace

bool ErrorTrap::record(const data::Status& status) {
  flag_ = true;
  ++events_;
  if (!failures_.empty() && sameFailure(failures_.back().status, status)) {
    ++failures_.back().times;
  } else {
    failures_.push_back(Failure{status});
  }
  return false;
}

void ErrorTrap::clearFlag() {
  flag_ = false;
  judgedFrom_ = Mark{failures_.size(), failures_.empty() ? 0 : failures_.back().times, events_};
}

void ErrorTrap::forgetJudged() {
  failures_.resize(judgedFrom_.entries);
  if (!failures_.empty()) failures_.back().times = judgedFrom_.lastTimes;
  events_ = judgedFrom_.events;
}

}  // namespace kestrova::combine
