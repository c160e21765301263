#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/child_process.h"

extern char** environ;

namespace kestrova::testing {
namespace {

std::vector<std::string> environmentWith(const EnvChanges& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    const bool changed = std::any_of(changes.begin(), changes.end(), [&](const auto& c) { return c.first == name; });
    if (!changed) env.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

struct ChildProcess::Platform {
  pid_t pid = -1;
  int fds[2] = {-1, -1};  // standard output, standard error
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const EnvChanges& env)
    : platform_(std::make_unique<Platform>()) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<std::string> args = argv;
  std::vector<std::string> envp = environmentWith(env);
  std::vector<char*> argvPointers = pointersTo(args);
  std::vector<char*> envPointers = pointersTo(envp);
  const int rc = posix_spawn(&platform_->pid, args[0].c_str(), &actions, nullptr, argvPointers.data(),
                             envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  platform_->fds[0] = outPipe[0];
  platform_->fds[1] = errPipe[0];
  if (rc != 0) {
    platform_->pid = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
}

ChildProcess::~ChildProcess() {
  if (platform_->pid > 0) {
    kill();
    wait();
  }
  for (int fd : platform_->fds) {
    if (fd >= 0) close(fd);
  }
}

bool ChildProcess::read(std::chrono::milliseconds timeout, std::string* out, std::string* err) {
  int* fds = platform_->fds;
  if (fds[0] < 0 && fds[1] < 0) return false;
  pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
  const int ready = poll(polled, 2, static_cast<int>(timeout.count()));
  if (ready <= 0) return true;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if (polled[i].fd < 0 || (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = ::read(polled[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      (i == 0 ? out : err)->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(fds[i]);
      fds[i] = -1;
    }
  }
  return fds[0] >= 0 || fds[1] >= 0;
}

void ChildProcess::kill() {
  if (platform_->pid > 0) ::kill(platform_->pid, SIGKILL);
}

std::optional<int> ChildProcess::wait() {
  int status = 0;
  while (waitpid(platform_->pid, &status, 0) < 0 && errno == EINTR) {
  }
  platform_->pid = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return std::nullopt;
}

}  // namespace kestrova::testing
