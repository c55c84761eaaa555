#include "text/platform_text.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#endif

namespace addrbook {

#if defined(_WIN32)
namespace {

std::string Utf8(const std::wstring& wide) {
  return FromUtf16(std::u16string(wide.begin(), wide.end()));
}

// Text in a code page (UTF-8 unless said) as UTF-16.
std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

UINT gConsoleCodePage = CP_UTF8;

// A stream buffer that writes UTF-8 to a console as UTF-16, a line (or a
// flush) at a time, never splitting a character.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}
  void Flush() {
    // The end of `pending_` may be the first bytes of a character.
    size_t whole = pending_.size();
    size_t lead = gConsoleCodePage == CP_UTF8 ? whole : 0;
    while (lead > 0 && whole - lead < 3 && (pending_[lead - 1] & 0xC0) == 0x80) --lead;
    if (lead > 0) {
      unsigned char first = static_cast<unsigned char>(pending_[lead - 1]);
      size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
      if (whole - (lead - 1) < length) whole = lead - 1;
    }
    std::wstring wide = Wide(pending_.substr(0, whole), gConsoleCodePage);
    for (size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(console_, wide.data() + done, chunk, &written, nullptr) || !written) break;
      done += written;
    }
    pending_.erase(0, whole);
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      pending_ += static_cast<char>(c);
      if (c == '\n') Flush();
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<size_t>(count));
    if (std::memchr(text, '\n', static_cast<size_t>(count))) Flush();
    return count;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  HANDLE console_;
  std::string pending_;
};

ConsoleBuffer* gOut = nullptr;
ConsoleBuffer* gErr = nullptr;
std::streambuf* gOldOut = nullptr;
std::streambuf* gOldErr = nullptr;

// At exit, before the standard streams' own last flush: what is pending
// is written, and the streams get their own buffers back.
void RestoreStreams() {
  if (gOut) {
    gOut->Flush();
    std::cout.rdbuf(gOldOut);
  }
  if (gErr) {
    gErr->Flush();
    std::cerr.rdbuf(gOldErr);
  }
}

bool IsConsole(DWORD which) {
  DWORD mode;
  HANDLE handle = GetStdHandle(which);
  return handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode);
}

}  // namespace

std::vector<std::string> CommandLine(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (!wide) {
    for (int i = 0; i < argc; ++i) arguments.push_back(argv[i]);
    return arguments;
  }
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool CommandLineIsUtf8() { return true; }

bool WriteToConsole() {
  bool out = IsConsole(STD_OUTPUT_HANDLE), err = IsConsole(STD_ERROR_HANDLE);
  _setmode(_fileno(stdin), _O_BINARY);
  if (!out) _setmode(_fileno(stdout), _O_BINARY);
  if (out && !gOut) {
    gOut = new ConsoleBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
    gOldOut = std::cout.rdbuf(gOut);
  }
  if (err && !gErr) {
    gErr = new ConsoleBuffer(GetStdHandle(STD_ERROR_HANDLE));
    gOldErr = std::cerr.rdbuf(gErr);
  }
  if (out || err) std::atexit(RestoreStreams);
  return out;
}

void ConsoleTextIs(Encoding encoding) {
  gConsoleCodePage = encoding == Encoding::kUtf8     ? CP_UTF8
                     : encoding == Encoding::kLatin1 ? 28591
                                                     : 1252;
}

std::filesystem::path FilePath(const std::string& name) {
  return std::filesystem::path(Wide(name));
}

std::string VariableName(const std::string& name) { return "%" + name + "%"; }

std::optional<std::string> LibraryPath(const std::string& name, std::string* why) {
  std::wstring wide = Wide(name);
  auto ansi = [](const std::wstring& text) -> std::optional<std::string> {
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), length, nullptr, &lossy);
    if (lossy) return std::nullopt;
    return out;
  };
  if (std::optional<std::string> path = ansi(wide)) return path;
  // A name the ANSI code page cannot hold: its short name, where the file
  // system keeps one, is plain ASCII.
  DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (length > 0) {
    std::wstring shortName(length, L'\0');
    length = GetShortPathNameW(wide.c_str(), shortName.data(), length);
    shortName.resize(length);
    if (std::optional<std::string> path = length ? ansi(shortName) : std::nullopt) return path;
  }
  *why = "the directory's name holds characters that the ANSI code page (" +
         std::to_string(GetACP()) +
         ") cannot hold, and it has no short name; the library opens names in the ANSI code page"
         " only";
  return std::nullopt;
}

#else

std::vector<std::string> CommandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool CommandLineIsUtf8() { return false; }

bool WriteToConsole() { return false; }

void ConsoleTextIs(Encoding) {}

std::filesystem::path FilePath(const std::string& name) { return std::filesystem::path(name); }

std::string VariableName(const std::string& name) { return "$" + name; }

std::optional<std::string> LibraryPath(const std::string& name, std::string*) { return name; }

#endif

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // Large blocks from the heap rather than mappings of their own, and
  // the heap's top kept when freed.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void ReadyMemory(size_t bytes) {
#if defined(__GLIBC__) && defined(MADV_POPULATE_WRITE)
  // A block from the top of the heap, its pages made present in one call
  // and given back to the heap, which keeps them (KeepFreedMemory).
  constexpr uintptr_t kPage = 4096;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (!block) return;
  uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
  std::free(block);
#else
  (void)bytes;
#endif
}

}  // namespace addrbook
