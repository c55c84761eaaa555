// Shared by the fuzz targets: a scratch directory for the process and
// reading a book file back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ovel.h"

namespace ovel_fuzz {

// A directory that lives as long as the process; `name` tells targets apart.
std::string ScratchDirectory(const char* name);

void MakeDirectory(const std::string& path);
std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void RemoveFile(const std::string& path);

struct Copied {
  int group;
  int surnameOffset;
  std::string name, address, comment;
  bool operator==(const Copied&) const = default;
};

// Every entry a view shows, copied out; aborts on a missing item.
std::vector<Copied> CopyAll(ViewHandle view);

// Aborts with a message: a finding.
[[noreturn]] void Fail(const char* what);

}  // namespace ovel_fuzz
