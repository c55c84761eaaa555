/* A caller written in C99 against the public header and the shared
 * library: a whole scenario from initialize to terminate. */
#include <stdio.h>
#include <string.h>

#include "ovel.h"

static int failures;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

static void write_club(const char* path) {
  /* Group Club (members 2 and 3), then Dora and Earl. */
  static const unsigned char book[] = {0x02, 0x03, 0x00, 0x01, 0x80, 4,    'C', 'l',  'u',
                                       'b',  2,    0x02, 0x00, 0x03, 0x00, 0,   0x02, 0x00,
                                       4,    'D',  'o',  'r',  'a',  1,    'd', 0,    0x03,
                                       0x00, 4,    'E',  'a',  'r',  'l',  1,   'e',  0};
  FILE* file = fopen(path, "wb");
  CHECK(file != NULL);
  if (!file) return;
  fwrite(book, 1, sizeof book, file);
  fclose(file);
}

int main(int argc, char** argv) {
  char path[1024];
  Client* client = NULL;
  ViewHandle view;
  ViewItem* item;
  MemberItem* members;
  const char* directory = argc > 1 ? argv[1] : ".";

  if (strlen(directory) > sizeof path - 20) return 2;
  sprintf(path, "%s/ADDRBOOK.DAT", directory);
  write_club(path);

  CHECK(OvelInitialize(&client, directory) == 1);
  CHECK(client != NULL);
  CHECK(OvelAddItem(client, "Al Adams", "al@example.org", NULL) == 1);

  view = OvelInitView(client, 1);
  CHECK(view != NULL);
  CHECK(OvelGetViewCount(view) == 4);
  item = OvelGetViewItem(view, 0);
  CHECK(item != NULL && strcmp(item->name, "Al Adams") == 0 && item->surnameOffset == 3);
  OvelFreeItem(item);
  item = OvelGetViewItem(view, 1);
  CHECK(item != NULL && item->group == 1 && strcmp(item->address, "<Group>") == 0);
  OvelFreeItem(item);

  members = OvelExpandGroup(client, "CLUB", 1);
  CHECK(members != NULL && strcmp(members->name, "Dora") == 0);
  CHECK(members != NULL && members->next != NULL && strcmp(members->next->name, "Earl") == 0);
  CHECK(members != NULL && members->next != NULL && members->next->next == NULL);
  OvelFreeGroup(members);

  CHECK(OvelDeleteViewItem(view, 2) == 1); /* Dora */
  CHECK(OvelGetViewCount(view) == 3);
  members = OvelExpandGroup(client, "Club", 0);
  CHECK(members != NULL && strcmp(members->name, "Earl") == 0 && members->next == NULL);
  OvelFreeGroup(members);

  CHECK(OvelFreeView(view) == 1);
  CHECK(OvelFreeView(view) == 0);
  CHECK(OvelGetViewCount(view) == -1);
  CHECK(OvelTerminate(client) == 1);
  CHECK(OvelTerminate(NULL) == 0);

  if (failures) return 1;
  printf("1 passed, 0 failed\n");
  return 0;
}
