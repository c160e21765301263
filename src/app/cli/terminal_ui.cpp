#include "app/cli/terminal_ui.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "app/cli/console.h"
#include "data/visible_text.h"

namespace kestrova::app {

TerminalUi::TerminalUi(bool assumeYes)
    : assumeYes_(assumeYes), inputIsTerminal_(isTerminal(stdin)), errorIsTerminal_(isTerminal(stderr)) {}

void TerminalUi::setProgress(int percent) {
  if (!errorIsTerminal_) {
    std::cerr << "progress " << percent << '\n' << std::flush;
    return;
  }
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent << "%" << std::flush;
  progressLineOpen_ = true;
}

void TerminalUi::endProgressLine() {
  if (!progressLineOpen_) return;
  std::cerr << '\n' << std::flush;
  progressLineOpen_ = false;
}

void TerminalUi::setProgressVisible(bool visible) {
  if (!visible) endProgressLine();
}

void TerminalUi::beep() {
  if (errorIsTerminal_) std::cerr << '\a' << std::flush;
}

void TerminalUi::showMessage(const std::string& text, combine::MessageIcon) {
  endProgressLine();
  std::cout << data::visibleLines(text) << std::endl;
}

void TerminalUi::promptForDiskette(const std::string& text) {
  endProgressLine();
  std::cout << data::visibleLines(text) << std::endl;
  if (!inputIsTerminal_) return;
  std::string line;
  std::getline(std::cin, line);
}

bool TerminalUi::askYesNo(const std::string& text) {
  endProgressLine();
  std::cout << text << std::endl;
  if (assumeYes_) return true;
  if (!inputIsTerminal_) return false;
  std::cout << "Yes or No? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes";
}

}  // namespace kestrova::app
