// The book as the tool sees it, through the public API only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ovel.h"

namespace addrbook {

// The cause the library left for the call that has just failed, in words.
std::string FailureCause();

// One entry in book text (8-bit), with the index a view gives it.
struct Entry {
  int index;
  bool group;
  int surnameOffset;
  std::string name, address, comment;
};

class BookAccess {
 public:
  explicit BookAccess(std::string directory) : directory_(std::move(directory)) {}
  ~BookAccess();
  BookAccess(const BookAccess&) = delete;
  BookAccess& operator=(const BookAccess&) = delete;

  // The directory's name as the library takes it, when it differs from
  // the name the user gave (which messages show).
  void SetLibraryPath(std::string path) { libraryPath_ = std::move(path); }
  // Messages are shown in UTF-8, or else in `display` (an 8-bit
  // encoding), as the output is.
  void SetMessageEncoding(bool utf8, int display) {
    utf8_ = utf8;
    display_ = display;
  }
  bool Open();
  Client* client() const { return client_; }
  const std::string& directory() const { return directory_; }

  // Every entry in view order; nullopt (reported) when the book cannot be read.
  std::optional<std::vector<Entry>> Entries(bool groups);
  // The same through a view that stays open, so that a delete through it
  // deletes what it showed even when another program changes the book
  // meanwhile; null (reported) when the book cannot be read.
  ViewHandle Walk(bool groups, std::vector<Entry>* entries);
  // The members of a group, indexes counted in the list; empty when none.
  std::vector<Entry> Members(const std::string& group, bool recursive);

  // Reports a failure on standard error, naming the book; returns 1.
  int Fail(const std::string& why) const;
  // Reports a failed library call: `what` failed, and the cause the
  // library left for it.  Call it at once, before anything else can change
  // errno (or the last-error code).
  int FailCall(const std::string& what) const;

 private:
  std::string directory_;
  std::string libraryPath_;
  bool utf8_ = true;
  int display_ = 0;  // an Encoding
  Client* client_ = nullptr;
};

}  // namespace addrbook
