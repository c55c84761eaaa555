#include "commands/book_access.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "formats/entry_rules.h"
#include "text/escaping.h"
#include "text/platform_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace addrbook {

namespace {

// The cause the system's last-error value names: this library's own causes
// in the tool's words, any other in the system's.

#if defined(_WIN32)

std::string SystemCause() {
  DWORD error = GetLastError();
  switch (error) {
    case ERROR_FILE_CORRUPT:
      return "the book file is damaged, or not a book file";
    case ERROR_FILE_TOO_LARGE:
      return kBookFull;
    case ERROR_ALREADY_EXISTS:
      return "a group of that name is in the book already";
    case ERROR_FILE_INVALID:
      return "another program changed the book since it was listed; list it again";
  }
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 &&
         (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  return length ? text : "error " + std::to_string(error);
}

bool CauseLeft() { return GetLastError() != 0; }
bool CauseIsNotFound() { return GetLastError() == ERROR_NOT_FOUND; }
bool CauseIsDenied() { return GetLastError() == ERROR_ACCESS_DENIED; }

#else

std::string SystemCause() {
  int error = errno;
  switch (error) {
    case EBADMSG:
      return "the book file is damaged, or not a book file";
    case E2BIG:
      return kBookFull;
    case EEXIST:
      return "a group of that name is in the book already";
    case ESTALE:
      return "another program changed the book since it was listed; list it again";
    case ENXIO:
      return "ADDRBOOK.DAT or ADDRBOOK.LCK is not a regular file";
    case EISDIR:
      return "ADDRBOOK.DAT or ADDRBOOK.LCK is a directory";
    case ELOOP:
      return "ADDRBOOK.LCK is a symbolic link, or the book's links loop";
  }
  return std::strerror(error);
}

bool CauseLeft() { return errno != 0; }
bool CauseIsNotFound() { return errno == ENOENT; }
bool CauseIsDenied() { return errno == EACCES || errno == EPERM; }

#endif

// Why a book that may not be changed may not: the book file or its
// directory made read-only (no write permission for the owner; on Windows
// the read-only attribute); "" when neither is.
std::string ReadOnlyPart(const std::filesystem::path& directory) {
  auto unwritable = [](const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) ==
               std::filesystem::perms::none;
  };
  if (unwritable(directory / "ADDRBOOK.DAT"))
    return "the book is read-only: ADDRBOOK.DAT may not be written";
  if (unwritable(directory)) return "the book is read-only: its directory may not be written";
  return "";
}

}  // namespace

std::string FailureCause() {
  std::string cause = SystemCause();
  // Inside a sentence: "permission denied", "no space left on device".
  if (cause.size() > 1 && cause[0] >= 'A' && cause[0] <= 'Z' && cause[1] >= 'a' && cause[1] <= 'z')
    cause[0] = static_cast<char>(cause[0] - 'A' + 'a');
  return cause;
}

BookAccess::~BookAccess() {
  if (client_) OvelTerminate(client_);
}

bool BookAccess::Open() {
  const std::string& path = libraryPath_.empty() ? directory_ : libraryPath_;
  if (OvelInitialize(&client_, path.c_str())) return true;
  FailCall("the directory name cannot be used");
  return false;
}

ViewHandle BookAccess::Walk(bool groups, std::vector<Entry>* entries) {
  ViewHandle view = OvelInitView(client_, groups ? 1 : 0);
  if (!view) {
    FailCall("the book cannot be read");
    return nullptr;
  }
  entries->clear();
  int count = OvelGetViewCount(view);
  for (int i = 0; i < count; ++i) {
    ViewItem* item = OvelGetViewItem(view, i);
    if (!item) {
      OvelFreeView(view);
      Fail("out of memory");
      return nullptr;
    }
    entries->push_back(
        {i, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
    OvelFreeItem(item);
  }
  return view;
}

std::optional<std::vector<Entry>> BookAccess::Entries(bool groups) {
  std::vector<Entry> entries;
  ViewHandle view = Walk(groups, &entries);
  if (!view) return std::nullopt;
  OvelFreeView(view);
  return entries;
}

namespace {

// The entries of a list from OvelExpandGroup, which is freed.
std::vector<Entry> MemberEntries(MemberItem* list) {
  std::vector<Entry> members;
  int index = 0;
  for (MemberItem* item = list; item; item = item->next) {
    members.push_back(
        {index++, item->group != 0, item->surnameOffset, item->name, item->address, item->comment});
  }
  OvelFreeGroup(list);
  return members;
}

}  // namespace

std::vector<Entry> BookAccess::Members(const std::string& group, bool recursive) {
  return MemberEntries(OvelExpandGroup(client_, group.c_str(), recursive ? 1 : 0));
}

std::optional<std::vector<Entry>> BookAccess::Expand(const std::string& group, bool recursive,
                                                     const std::string& shown) {
  MemberItem* list = OvelExpandGroup(client_, group.c_str(), recursive ? 1 : 0);
  if (!list && CauseIsNotFound()) {
    Fail("no group is named " + shown);
    return std::nullopt;
  }
  if (!list && CauseLeft()) {
    FailCall("the members of " + shown + " cannot be read");
    return std::nullopt;
  }
  return MemberEntries(list);
}

int BookAccess::Fail(const std::string& why) const {
  // A message may quote a name, a file or an argument: nothing in it may
  // drive the terminal.
  OutputOptions shown;
  shown.utf8 = utf8_;
  shown.display = static_cast<Encoding>(display_);
  std::cerr << "addrbook: " << ShownUtf8(directory_ + ": " + why, shown) << "\n";
  return 1;
}

int BookAccess::FailCall(const std::string& what) const {
  bool denied = CauseIsDenied();
  std::string cause = FailureCause();
  if (std::string readOnly = denied ? ReadOnlyPart(FilePath(directory_)) : ""; !readOnly.empty()) {
    cause += " (" + readOnly + ")";
  }
  return Fail(what + ": " + cause);
}

}  // namespace addrbook
