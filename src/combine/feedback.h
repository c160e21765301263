// What a combine needs from its user while it runs: the progress panel, the
// beep and modal messages with an OK button. The combine command's user
// interface provides them (the window, the terminal, or a test's recorder).

#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kestrova::combine {

enum class MessageIcon { kNone, kCritical, kQuestion, kExclamation, kWarning };

class Feedback {
 public:
  virtual ~Feedback() = default;

  // Sets the progress panel's fill, 0 to 100. The panel shows it at once,
  // though the run does not return to the event loop.
  virtual void setProgress(int percent) = 0;

  // The standard system beep.
  virtual void beep() = 0;

  // A modal message with the application title and an OK button; returns
  // when the user has closed it.
  virtual void showMessage(const std::string& text, MessageIcon icon) = 0;

  // The diskette prompt: a modal message with an OK button, no icon; returns
  // when the user has inserted the diskette and closed it.
  virtual void promptForDiskette(const std::string& text) = 0;

  // Whether the user has asked the run to stop. Consulted between walks
  // only, so a run that stops has every walk it made committed or rolled
  // back; the management orders that lead to the archives are re-pointed
  // last, so running the same combine again finishes it.
  virtual bool stopRequested() const { return false; }

  // In a run of many combines at once: the messages and prompts that follow
  // concern these of them (indexes in the order the run was given), until
  // the next call.
  virtual void concerns(const std::vector<std::size_t>& combines) { (void)combines; }
};

}  // namespace kestrova::combine
