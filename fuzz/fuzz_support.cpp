#include "fuzz_support.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovel_fuzz {

std::string ScratchDirectory(const char* name) {
  std::string path = "/tmp/ovel-fuzz-" + std::string(name) + "-" + std::to_string(getpid());
  MakeDirectory(path);
  return path;
}

void MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) Fail("cannot make a scratch directory");
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(file);
  }
  return bytes;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) Fail("cannot write the book file");
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

void RemoveFile(const std::string& path) { std::remove(path.c_str()); }

std::vector<Copied> CopyAll(ViewHandle view) {
  std::vector<Copied> items;
  int count = OvelGetViewCount(view);
  if (count < 0) Fail("a live view has no count");
  for (int i = 0; i < count; ++i) {
    ViewItem* item = OvelGetViewItem(view, i);
    if (!item || !item->name || !item->address || !item->comment) Fail("an item is missing");
    items.push_back({item->group, item->surnameOffset, item->name, item->address, item->comment});
    OvelFreeItem(item);
  }
  return items;
}

void Fail(const char* what) {
  std::fprintf(stderr, "FINDING: %s\n", what);
  std::abort();
}

}  // namespace ovel_fuzz
