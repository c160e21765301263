// ErrorTrap: the one error trap under which a combine run does its database
// work.
//
// A failed operation does not stop the run: the trap records it, sets the
// run's failure flag, and the run goes on with the next operation. The few
// steps that judge an operation by the flag (opening an archive) clear the
// flag first and, when they report the failure by a message of their own,
// forget what they judged so that it is not reported twice. Everything else
// the trap caught is told to the user when the run ends.

#pragma once

#include <cstddef>
#include <vector>

#include "data/status.h"

namespace kestrova::combine {

// One failure, or a run of identical ones (the same file, operation and
// reason, as when every row of a locked table is refused).
struct Failure {
  data::Status status;
  std::size_t times = 1;
};

class ErrorTrap {
 public:
  // Records `status` if it is a failure and sets the flag. Returns whether
  // the operation succeeded, so that callers can skip what cannot follow.
  bool operator()(const data::Status& status) { return status.isOk() || record(status); }

  bool flag() const { return flag_; }

  // Clears the flag and marks where the failures of the step about to be
  // judged begin.
  void clearFlag();

  // Drops the failures recorded since the last clearFlag(): the caller has
  // reported them by a message of its own.
  void forgetJudged();

  // How many failed operations have been recorded and not forgotten.
  std::size_t failureCount() const { return events_; }

  const std::vector<Failure>& failures() const { return failures_; }

 private:
  struct Mark {
    std::size_t entries = 0;
    std::size_t lastTimes = 0;
    std::size_t events = 0;
  };

  // Records a failure; returns false.
  bool record(const data::Status& status);

  std::vector<Failure> failures_;
  std::size_t events_ = 0;
  bool flag_ = false;
  Mark judgedFrom_;
};

}  // namespace kestrova::combine
