/* A program outside the project that uses an installed ovel. */
#include <ovel.h>
#include <stdio.h>

int main(int argc, char** argv) {
  Client* client = NULL;
  ViewHandle view;
  int count;
  if (argc < 2 || !OvelInitialize(&client, argv[1])) return 1;
  if (!OvelAddItem(client, "Ann Lee", "ann@example.org", NULL)) return 1;
  view = OvelInitView(client, 1);
  count = OvelGetViewCount(view);
  OvelFreeView(view);
  OvelTerminate(client);
  printf("%d\n", count);
  return count == 1 ? 0 : 1;
}
