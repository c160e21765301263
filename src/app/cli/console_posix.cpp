#include <signal.h>
#include <unistd.h>

#include <array>

#include "app/cli/console.h"
#include "app/id_text.h"

namespace kestrova::app {
namespace {

volatile sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int) { stopSignalled = 1; }

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, 3> previousActions;

}  // namespace

std::vector<std::string> programArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(validUtf8(argv[i]));
  return arguments;
}

void prepareConsole() {}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

StopRequests::StopRequests() {
  stopSignalled = 0;
  // Not restarted, so that a wait at a prompt ends at the signal.
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) sigaction(kStopSignals[i], &action, &previousActions[i]);
}

StopRequests::~StopRequests() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) sigaction(kStopSignals[i], &previousActions[i], nullptr);
}

bool StopRequests::requested() { return stopSignalled != 0; }

}  // namespace kestrova::app
