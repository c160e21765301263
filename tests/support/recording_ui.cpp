#include "support/recording_ui.h"

namespace kestrova::testing {

std::string iconName(combine::MessageIcon icon) {
  switch (icon) {
    case combine::MessageIcon::kNone:
      return "none";
    case combine::MessageIcon::kCritical:
      return "critical";
    case combine::MessageIcon::kQuestion:
      return "question";
    case combine::MessageIcon::kExclamation:
      return "exclamation";
    case combine::MessageIcon::kWarning:
      return "warning";
  }
  return "?";
}

RecordingUi::RecordingUi(combine::CombineKind kind, const std::string& fromId, const std::string& toId)
    : kind(kind) {
  // Typed in, not written by the command: no event is recorded.
  boxes[static_cast<std::size_t>(app::boxesOf(kind).from)] = fromId;
  boxes[static_cast<std::size_t>(app::boxesOf(kind).to)] = toId;
}

void RecordingUi::setBoxText(app::IdBox box, const std::string& text) {
  boxes[static_cast<std::size_t>(box)] = text;
  events.push_back("box " + std::to_string(static_cast<int>(box)) + " = " + text);
}

void RecordingUi::setInstructionVisible(bool visible) { events.push_back(visible ? "label shown" : "label hidden"); }
void RecordingUi::setProgressVisible(bool visible) { events.push_back(visible ? "panel shown" : "panel hidden"); }
void RecordingUi::setWaitPointer(bool wait) { events.push_back(wait ? "pointer wait" : "pointer default"); }
void RecordingUi::setProgress(int percent) { events.push_back("progress " + std::to_string(percent)); }
void RecordingUi::beep() { events.push_back("beep"); }

void RecordingUi::showMessage(const std::string& text, combine::MessageIcon icon) {
  events.push_back("message " + iconName(icon) + ": " + text);
}

void RecordingUi::promptForDiskette(const std::string& text) {
  events.push_back("diskette: " + text);
  if (onDiskettePrompt) onDiskettePrompt();
}

bool RecordingUi::askYesNo(const std::string& text) {
  events.push_back("ask: " + text);
  return answerYes;
}

void RecordingUi::endProgram() { events.push_back("end program"); }

std::vector<std::string> RecordingUi::eventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& event : events) {
    if (event.starts_with(prefix)) found.push_back(event);
  }
  return found;
}

std::vector<int> RecordingUi::progressValues() const {
  std::vector<int> values;
  for (const std::string& event : eventsStartingWith("progress ")) values.push_back(std::stoi(event.substr(9)));
  return values;
}

}  // namespace kestrova::testing
