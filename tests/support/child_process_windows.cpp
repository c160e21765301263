#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "support/child_process.h"

namespace kestrova::testing {
namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

// One argument as the C runtime's parser reads it back: quoted when it holds
// a blank or a quote, quotes escaped, backslashes before a quote doubled.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

// The environment block with the changes made: NAME=VALUE\0 ... \0.
std::wstring environmentWith(const EnvChanges& changes) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const std::wstring name = text.substr(0, text.find(L'=', 1));
    bool changed = false;
    for (const auto& change : changes) changed = changed || _wcsicmp(wide(change.first).c_str(), name.c_str()) == 0;
    if (!changed) block += text + L'\0';
  }
  FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : changes) {
    if (value) block += wide(name) + L"=" + wide(*value) + L'\0';
  }
  return block + L'\0';
}

// What the reading threads share with the child's owner. Held by the
// threads too, so that a thread still reading when the owner is gone does
// no harm.
struct Outputs {
  std::mutex mutex;
  std::condition_variable arrived;
  std::string pending[2];
  int open = 2;
};

// How long the outputs may stay open after the child has ended: under Wine a
// helper process of the child's can hold a pipe open long after.
constexpr std::chrono::seconds kAfterTheEnd{3};

}  // namespace

// The two outputs are read by a thread each into `pending`, which read()
// hands over: Windows has no poll() over pipes.
struct ChildProcess::Platform {
  HANDLE process = nullptr;
  bool killed = false;
  std::shared_ptr<Outputs> outputs = std::make_shared<Outputs>();
  std::optional<std::chrono::steady_clock::time_point> ended;
  std::thread readers[2];

  // Whether the child has ended and its outputs have had their time to close.
  bool outputsOverdue() {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!ended) ended = now;
    return now - *ended > kAfterTheEnd;
  }
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const EnvChanges& env)
    : platform_(std::make_unique<Platform>()) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnds[2];
  HANDLE writeEnds[2];
  for (int i = 0; i < 2; ++i) {
    if (!CreatePipe(&readEnds[i], &writeEnds[i], &inherit, 0)) throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(readEnds[i], HANDLE_FLAG_INHERIT, 0);
  }
  HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                               nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = writeEnds[0];
  startup.hStdError = writeEnds[1];
  std::wstring commandLine;
  for (const std::string& argument : argv) commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(argument));
  std::wstring environment = environmentWith(env);
  PROCESS_INFORMATION info{};
  // Wine now and then fails a start with an internal error: tried again.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(wide(argv[0]).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr, &startup,
                             &info);
  }
  CloseHandle(nothing);
  for (HANDLE end : writeEnds) CloseHandle(end);
  if (!started) {
    for (HANDLE end : readEnds) CloseHandle(end);
    throw std::runtime_error("cannot start " + argv[0] + ": error " + std::to_string(GetLastError()));
  }
  CloseHandle(info.hThread);
  platform_->process = info.hProcess;
  for (int i = 0; i < 2; ++i) {
    platform_->readers[i] = std::thread([outputs = platform_->outputs, end = readEnds[i], i] {
      char buffer[4096];
      DWORD n = 0;
      while (ReadFile(end, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        const std::lock_guard<std::mutex> lock(outputs->mutex);
        outputs->pending[i].append(buffer, n);
        outputs->arrived.notify_all();
      }
      CloseHandle(end);
      const std::lock_guard<std::mutex> lock(outputs->mutex);
      --outputs->open;
      outputs->arrived.notify_all();
    });
  }
}

ChildProcess::~ChildProcess() {
  if (platform_->process != nullptr) {
    kill();
    wait();
  }
  for (std::thread& reader : platform_->readers) {
    if (reader.joinable()) reader.detach();
  }
}

bool ChildProcess::read(std::chrono::milliseconds timeout, std::string* out, std::string* err) {
  Outputs& outputs = *platform_->outputs;
  std::unique_lock<std::mutex> lock(outputs.mutex);
  const auto anything = [&] { return !outputs.pending[0].empty() || !outputs.pending[1].empty(); };
  outputs.arrived.wait_for(lock, timeout, [&] { return anything() || outputs.open == 0; });
  out->append(outputs.pending[0]);
  err->append(outputs.pending[1]);
  outputs.pending[0].clear();
  outputs.pending[1].clear();
  return outputs.open > 0 && !platform_->outputsOverdue();
}

void ChildProcess::kill() {
  if (platform_->process == nullptr) return;
  if (WaitForSingleObject(platform_->process, 0) == WAIT_TIMEOUT && TerminateProcess(platform_->process, 1)) {
    platform_->killed = true;
  }
}

std::optional<int> ChildProcess::wait() {
  WaitForSingleObject(platform_->process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(platform_->process, &code);
  CloseHandle(platform_->process);
  platform_->process = nullptr;
  // A pipe a helper still holds is left to its thread, which owns its share
  // of the outputs.
  for (std::thread& reader : platform_->readers) {
    if (reader.joinable()) reader.detach();
  }
  if (platform_->killed) return std::nullopt;
  return static_cast<int>(code);
}

}  // namespace kestrova::testing
