// The book as the tool sees it, through the public API only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ovel.h"
#include "text/entry.h"

namespace addrbook {

// The cause the library left for the call that has just failed, in words.
std::string FailureCause();

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
  // A failure to read them gives none as well: a caller that must tell
  // uses Expand.
  std::vector<Entry> Members(const std::string& group, bool recursive);
  // The members of a group, indexes counted in the list: empty for a
  // group without members (the library leaves no cause for it); nullopt
  // (reported, `shown` naming the group) when there is no such group or
  // they cannot be read.
  std::optional<std::vector<Entry>> Expand(const std::string& group, bool recursive,
                                           const std::string& shown);

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

// Closes a view at the end of a scope.
struct ViewCloser {
  ViewHandle view;
  ~ViewCloser() { OvelFreeView(view); }
};

// The changes of a scope as one transaction: saved by Commit, discarded
// when the scope ends without it.  An inactive one (a dry run) begins
// nothing and commits at once.
class Transaction {
 public:
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  explicit Transaction(Client* client, bool active = true) : client_(active ? client : nullptr) {}
  ~Transaction() {
    if (begun_) OvelEndChanges(client_, 0);
  }
  // False (the cause left for FailureCause) when the book cannot be
  // locked for the changes.
  bool Begin() {
    if (!client_) return true;
    begun_ = OvelBeginChanges(client_) != 0;
    return begun_;
  }
  // Saves the changes, which ends the transaction either way; false (the
  // cause left) when they could not be saved.
  bool Commit() {
    if (!begun_) return true;
    begun_ = false;
    return OvelEndChanges(client_, 1) != 0;
  }

 private:
  Client* client_;
  bool begun_ = false;
};

}  // namespace addrbook
