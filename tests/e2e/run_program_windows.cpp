// Starts the program with CreateProcessW, so the arguments reach it exactly as a console would
// pass them: one UTF-16 command line, split again by the program itself.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <thread>

#include "run_program.hpp"

namespace e2e {
namespace {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }
  void reset() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }

 private:
  HANDLE handle_ = nullptr;
};

std::string system_message(const char* what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

// UTF-8 to UTF-16. Surrogate code points written in UTF-8 form (ED A0..BF xx) become lone
// UTF-16 surrogates, so a test can hand the program an argument that is not valid Unicode.
// Any other malformed byte becomes U+FFFD.
std::wstring to_wide(std::string_view text) {
  std::wstring wide;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    std::uint32_t point = length == 1 ? lead : length == 2 ? lead & 0x1Fu : lead & 0x0Fu;
    if (length == 4) point = lead & 0x07u;
    bool ok = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; ok && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      ok = (next & 0xC0) == 0x80;
      point = (point << 6) | (next & 0x3Fu);
    }
    if (!ok || point > 0x10FFFF) {
      wide.push_back(L'\xFFFD');
      ++i;
      continue;
    }
    if (point >= 0x10000) {
      point -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (point >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (point & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(point));
    }
    i += static_cast<std::size_t>(length);
  }
  return wide;
}

// Quotes one argument so that CommandLineToArgvW gives it back unchanged: backslashes count
// only before a double quote, where each must be doubled.
void append_quoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

void read_all(HANDLE pipe, std::string& sink) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink.append(buffer, got);
}

// A pipe whose write end the child inherits; the read end stays with the test.
bool make_pipe(Handle& read_end, Handle& write_end) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(read_end.out(), write_end.out(), &inherit, 0)) return false;
  return SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

}  // namespace

RunResult run_program(const std::vector<std::string>& args, StdoutMode stdout_mode) {
  RunResult result;
  const std::wstring binary = to_wide(ORVANE_BINARY);
  std::wstring line;
  append_quoted(line, binary);
  for (const std::string& arg : args) {
    line += L' ';
    append_quoted(line, to_wide(arg));
  }

  Handle out_read, out_write, err_read, err_write;
  if (!make_pipe(out_read, out_write) || !make_pipe(err_read, err_write)) {
    result.failure = system_message("CreatePipe");
    return result;
  }
  // With no reader left, every write the program makes to standard output fails.
  if (stdout_mode == StdoutMode::ClosedPipe) out_read.reset();
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = out_write.get();
  startup.hStdError = err_write.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(binary.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    result.failure = system_message("CreateProcessW");
    return result;
  }
  const Handle process_handle(process.hProcess);
  const Handle thread_handle(process.hThread);
  // Only the child may hold the write ends now, so the reads below end when it exits.
  out_write.reset();
  err_write.reset();
  input.reset();

  // One thread per pipe: the child would block on a full pipe that nobody drains.
  std::thread err_reader([&] { read_all(err_read.get(), result.err); });
  if (out_read.valid()) read_all(out_read.get(), result.out);
  err_reader.join();

  DWORD code = 0;
  if (WaitForSingleObject(process_handle.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_handle.get(), &code)) {
    result.failure = system_message("waiting for the program");
    return result;
  }
  // Exit codes of the 0xC0000000 range are exceptions the program did not survive.
  if (code >= 0xC0000000u) {
    char text[64];
    std::snprintf(text, sizeof text, "ended by exception 0x%08lX",
                  static_cast<unsigned long>(code));
    result.failure = text;
    return result;
  }
  result.status = static_cast<int>(code);
  return result;
}

}  // namespace e2e
