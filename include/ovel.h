/* ovel: an address book kept in one file, "ADDRBOOK.DAT", in a directory
 * that the caller names.  Every change is in the file before the call that
 * made it returns.  Calls are made one at a time (no internal locking). */
#ifndef OVEL_H
#define OVEL_H

#if defined(_MSC_VER) && _MSC_VER < 1600
/* Visual C++ before 2010 has no <stdint.h>. */
typedef __int32 int32_t;
#else
#include <stdint.h>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define OVELAPI __stdcall
#else
#define OVELAPI
#endif

/* Symbols are hidden by default in the Linux build; the API is exported.
 * On Windows the exports come from the module definition file. */
#if defined(OVEL_BUILDING_LIBRARY) && defined(__GNUC__) && !defined(_WIN32)
#define OVEL_EXPORT __attribute__((visibility("default")))
#else
#define OVEL_EXPORT
#endif

/* The limits of a book file.  Lengths are in bytes of the book's text (a
 * character each in an 8-bit book), not counting a terminating null. */
#define OVEL_MAX_NAME 24      /* a name, "%" joins included */
#define OVEL_MAX_TEXT 255     /* an address, a comment */
#define OVEL_MAX_MEMBERS 255  /* the members of one group */
#define OVEL_MAX_ENTRIES 4095 /* entries and groups of one book */

/* When a call fails (0, null, or -1 from OvelGetViewCount) it leaves its
 * cause in errno on POSIX and in the thread's last-error code
 * (GetLastError) on Windows, set after every clean-up step of the call.
 * Errors of the system (opening, reading, writing, flushing, renaming,
 * locking: EACCES, EROFS, ENOSPC, EDQUOT, EFBIG, EIO; ERROR_ACCESS_DENIED,
 * ERROR_DISK_FULL, ERROR_WRITE_PROTECT, ERROR_SHARING_VIOLATION) are passed
 * on as the system gave them.  The library's own causes:
 *
 *   EINVAL / ERROR_INVALID_HANDLE        not an open Client, not a live view,
 *                                        or one inherited across fork (every
 *                                        call taking one; OvelTerminate frees
 *                                        an inherited Client and returns 1)
 *   EINVAL / ERROR_INVALID_PARAMETER     a null, empty or overlong argument;
 *                                        an index that names no entry
 *                                        (OvelInitialize, OvelAddItem,
 *                                        OvelGetViewItem, OvelExpandGroup,
 *                                        the group calls); a group made its
 *                                        own member; OvelEndChanges without
 *                                        a transaction
 *   ENAMETOOLONG / ERROR_FILENAME_EXCED_RANGE
 *                                        a directory whose path is too long
 *                                        (OvelInitialize)
 *   ENOMEM / ERROR_NOT_ENOUGH_MEMORY     no memory (any call)
 *   EBADMSG / ERROR_FILE_CORRUPT         the book file is not a book (any call
 *                                        that reads the book)
 *   E2BIG / ERROR_FILE_TOO_LARGE         the book holds OVEL_MAX_ENTRIES
 *                                        (OvelAddItem, OvelAddGroup); the
 *                                        group holds OVEL_MAX_MEMBERS
 *                                        (OvelAddGroupMember)
 *   EEXIST / ERROR_ALREADY_EXISTS        a group of that name in any case
 *                                        (OvelAddGroup)
 *   EISDIR / ERROR_ACCESS_DENIED         the book or its lock file is a
 *                                        directory
 *   ENXIO                                ... a FIFO, device or socket (POSIX)
 *   ELOOP / ERROR_CANT_ACCESS_FILE       the lock file is a symbolic link
 *                                        or a second name of another file
 *                                        (a change; Windows: a hard link)
 *   ENOENT                               ADDRBOOK.DAT is a symbolic link
 *                                        that names no file (POSIX)
 *   EACCES / ERROR_ACCESS_DENIED         a book its owner made read-only
 *                                        (OvelAddItem, OvelDeleteViewItem,
 *                                        OvelEndChanges)
 *   ESTALE / ERROR_FILE_INVALID          a change through a view that cannot
 *                                        tell which entry it showed
 *                                        (OvelDeleteViewItem, the member calls)
 *   ENOENT / ERROR_NOT_FOUND             no group of that name
 *                                        (OvelExpandGroup, the member calls)
 *   EBUSY / ERROR_LOCK_VIOLATION         a change while another Client's
 *                                        transaction holds the book;
 *                                        OvelBeginChanges while one is open
 *
 * OvelExpandGroup returns null also for a group whose members are all gone,
 * which is no failure: it leaves 0. */

#ifdef __cplusplus
extern "C" {
#endif

/* An open book; opaque to callers. */
typedef struct Client Client;

/* A view on a book; a null value is "none". */
typedef struct ViewHandleTag* ViewHandle;

/* One entry copied out of a view; free it with OvelFreeItem. */
typedef struct ViewItem {
  int32_t group;         /* 1 for a group, 0 for a plain entry */
  int32_t surnameOffset; /* index into name where the surname begins */
  char* name;            /* display name */
  char* address;         /* address; "<Group>" for a group */
  char* comment;         /* comment, possibly empty */
} ViewItem;

/* One member of an expanded group; free the whole list with OvelFreeGroup. */
typedef struct MemberItem {
  struct MemberItem* next; /* next member, or null at the end */
  int32_t group;           /* 1 for a nested group listed unexpanded */
  int32_t surnameOffset;   /* index into name where the surname begins */
  char* name;              /* display name */
  char* address;           /* address; empty for a group */
  char* comment;           /* comment, possibly empty */
} MemberItem;

/* Opens the book of a directory; stores the Client (null on failure) and returns 1 on success, 0 on
 * failure. */
OVEL_EXPORT int OVELAPI OvelInitialize(Client** client, const char* directory);

/* Closes a Client, freeing views still open on it; returns 0 when client is not an open Client,
 * else 1. */
OVEL_EXPORT int OVELAPI OvelTerminate(Client* client);

/* Adds a plain entry ("%" in name joins words of the surname) and saves the book; 1 when added and
 * saved, else 0 with nothing changed. */
OVEL_EXPORT int OVELAPI OvelAddItem(Client* client, const char* name, const char* address,
                                    const char* comment);

/* Opens a view in surname order, with groups when includeGroups is non-zero; null when the book
 * cannot be read. */
OVEL_EXPORT ViewHandle OVELAPI OvelInitView(Client* client, int includeGroups);

/* Returns the number of entries the view shows now, or -1 when view is not an open view. */
OVEL_EXPORT int OVELAPI OvelGetViewCount(ViewHandle view);

/* Copies out the entry at index (0-based, current order); null when there is none or no memory. */
OVEL_EXPORT ViewItem* OVELAPI OvelGetViewItem(ViewHandle view, int index);

/* Frees an item from OvelGetViewItem; does nothing for null. */
OVEL_EXPORT void OVELAPI OvelFreeItem(ViewItem* item);

/* Deletes the entry at index and saves the book; 1 when deleted and saved or when index names no
 * entry, 0 otherwise. */
OVEL_EXPORT int OVELAPI OvelDeleteViewItem(ViewHandle view, int index);

/* Closes a view; returns 1, or 0 when view is not an open view. */
OVEL_EXPORT int OVELAPI OvelFreeView(ViewHandle view);

/* Lists the members of the group named groupName (any case), nested groups expanded when recursive
 * is non-zero; null when none. */
OVEL_EXPORT MemberItem* OVELAPI OvelExpandGroup(Client* client, const char* groupName,
                                                int recursive);

/* Frees a list from OvelExpandGroup; does nothing for null. */
OVEL_EXPORT void OVELAPI OvelFreeGroup(MemberItem* list);

/* Beyond the eleven functions above: many changes in one durable save.
 *
 * OvelBeginChanges takes the book's exclusive lock for this Client (waiting
 * for other programs, as a change does) and brings its list up to date; 1,
 * or 0 when the lock cannot be had or a transaction is open on the book.
 * Until OvelEndChanges, OvelAddItem through this Client and
 * OvelDeleteViewItem through its views change the list in memory only
 * (every view of the book sees them at once); other Clients of the book in
 * this program read that list, and their changes fail at once; other
 * programs wait.  Keep transactions short: the book is locked meanwhile.
 *
 * OvelEndChanges with keep non-zero saves the book once with every change;
 * 1 when that save succeeded, else 0 with the list back as the file holds
 * it (all or nothing).  With keep zero it discards the changes and returns
 * 1.  Either way it releases the lock.  OvelTerminate discards an open
 * transaction of its Client. */
OVEL_EXPORT int OVELAPI OvelBeginChanges(Client* client);
OVEL_EXPORT int OVELAPI OvelEndChanges(Client* client, int keep);

/* Beyond the eleven functions: groups made and changed.
 *
 * OvelAddGroup adds an empty group named name (a name like any entry's:
 * "%" joins words of the surname) with comment; 1 when added and saved,
 * else 0 with nothing changed.  No two groups share a name in any case
 * (EEXIST); a plain entry of the same name is no conflict.
 *
 * OvelAddGroupMember makes the entry at index of view (a plain entry or, in
 * a view with groups, a group) a member of the group named groupName (any
 * case, as OvelExpandGroup finds it); 1 when it is a member afterwards and
 * the book is saved (a member already there: 1, and nothing is saved),
 * else 0 with nothing changed.  Members keep the order they were added in.
 * A group is never its own member (EINVAL); deeper cycles are allowed.
 *
 * OvelRemoveGroupMember takes that entry out of the group; 1 when it is no
 * member afterwards and the book is saved, else 0.
 *
 * An index means what it means to OvelDeleteViewItem: the entry the view
 * showed when it last read the list, found again by its content when
 * another program changed the file; ESTALE when the view cannot tell which
 * entry that is.  Inside a transaction these change the list in memory,
 * like adds and deletes, and OvelEndChanges saves them. */
OVEL_EXPORT int OVELAPI OvelAddGroup(Client* client, const char* name, const char* comment);
OVEL_EXPORT int OVELAPI OvelAddGroupMember(ViewHandle view, const char* groupName, int index);
OVEL_EXPORT int OVELAPI OvelRemoveGroupMember(ViewHandle view, const char* groupName, int index);

#ifdef __cplusplus
}
#endif

#endif /* OVEL_H */
