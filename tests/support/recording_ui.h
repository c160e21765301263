// RecordingUi: the combine command's user interface for tests. It keeps the
// six boxes and the option buttons like the window does, writes down every
// effect in order as a short line ("progress 20", "beep", "message critical:
// ..."), and answers questions and prompts as the test says.

#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/user_interface.h"
#include "combine/procedures.h"

namespace kestrova::testing {

class RecordingUi : public app::UserInterface, public app::IdBoxes {
 public:
  // Selects `kind` and puts the two IDs into its boxes.
  RecordingUi(combine::CombineKind kind, const std::string& fromId, const std::string& toId);

  bool customerSelected() const override { return kind == combine::CombineKind::kCustomer; }
  bool vehicleSelected() const override { return kind == combine::CombineKind::kVehicle; }
  std::string boxText(app::IdBox box) const override { return boxes[static_cast<std::size_t>(box)]; }
  void setBoxText(app::IdBox box, const std::string& text) override;

  void setInstructionVisible(bool visible) override;
  void setProgressVisible(bool visible) override;
  void setWaitPointer(bool wait) override;
  void setProgress(int percent) override;
  void beep() override;
  void showMessage(const std::string& text, combine::MessageIcon icon) override;
  void promptForDiskette(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void endProgram() override;

  // Only the events that start with `prefix` ("progress", "message").
  std::vector<std::string> eventsStartingWith(const std::string& prefix) const;
  // The progress values in the order the panel took them.
  std::vector<int> progressValues() const;

  combine::CombineKind kind;
  std::array<std::string, 6> boxes;
  bool answerYes = true;
  // Called when the diskette prompt is shown, before the run goes on: a
  // test puts the diskette "in the drive" here.
  std::function<void()> onDiskettePrompt;
  std::vector<std::string> events;
};

std::string iconName(combine::MessageIcon icon);

}  // namespace kestrova::testing
