#include "ext/pe_imports.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

// A dependency chain deeper than this is not followed further.
constexpr int kMaxDepth = 8;

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return content;
  char buffer[65536];
  size_t read;
  while ((read = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, read);
  fclose(file);
  return content;
}

uint32_t Read32(const std::string& data, size_t at) {
  if (at + 4 > data.size()) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data() + at);
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint16_t Read16(const std::string& data, size_t at) {
  if (at + 2 > data.size()) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data() + at);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// The file offset of a relative virtual address, through the section table; 0 when none holds it.
size_t FileOffset(const std::string& data, size_t sections, int count, uint32_t rva) {
  for (int i = 0; i < count; ++i) {
    size_t section = sections + static_cast<size_t>(i) * 40;
    uint32_t virtual_size = Read32(data, section + 8);
    uint32_t virtual_address = Read32(data, section + 12);
    uint32_t raw_size = Read32(data, section + 16);
    uint32_t raw_offset = Read32(data, section + 20);
    uint32_t size = virtual_size > raw_size ? virtual_size : raw_size;
    if (rva >= virtual_address && rva < virtual_address + size)
      return raw_offset + (rva - virtual_address);
  }
  return 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

bool FileThere(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SystemProvides(const std::string& name) {
  std::string lower = Lower(name);
  // API sets are names the system resolves itself; no file carries them.
  if (lower.rfind("api-ms-", 0) == 0 || lower.rfind("ext-ms-", 0) == 0) return true;
  char system[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
  return length > 0 && length < MAX_PATH && FileThere(std::string(system) + "\\" + name);
}

void CollectAbsent(const std::string& folder, const std::string& file, int depth,
                   std::set<std::string>* visited, std::vector<std::string>* absent) {
  std::vector<std::string> imports;
  if (depth > kMaxDepth || !ReadPeImports(folder + file, &imports)) return;
  for (const std::string& name : imports) {
    if (!visited->insert(Lower(name)).second) continue;
    if (FileThere(folder + name)) {
      CollectAbsent(folder, name, depth + 1, visited, absent);
    } else if (!SystemProvides(name)) {
      absent->push_back(name);
    }
  }
}

}  // namespace

bool ReadPeImports(const std::string& path, std::vector<std::string>* names) {
  std::string data = ReadWholeFile(path);
  if (data.size() < 64 || data[0] != 'M' || data[1] != 'Z') return false;
  size_t pe = Read32(data, 60);
  if (pe + 24 > data.size() || data.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return false;
  int section_count = Read16(data, pe + 6);
  size_t optional = pe + 24;
  size_t optional_size = Read16(data, pe + 20);
  uint16_t magic = Read16(data, optional);
  // The data directories start after the fixed fields, which are longer in PE32+.
  size_t directories = optional + (magic == 0x20b ? 112 : 96);
  size_t sections = optional + optional_size;
  uint32_t import_rva = Read32(data, directories + 8);  // entry 1: the import table
  names->clear();
  if (import_rva == 0) return true;
  size_t entry = FileOffset(data, sections, section_count, import_rva);
  // Each descriptor is 20 bytes; an all-zero one ends the table.
  for (; entry != 0 && entry + 20 <= data.size(); entry += 20) {
    uint32_t name_rva = Read32(data, entry + 12);
    if (name_rva == 0) break;
    size_t name_at = FileOffset(data, sections, section_count, name_rva);
    if (name_at == 0 || name_at >= data.size()) return false;
    names->push_back(std::string(data.c_str() + name_at,
                                 strnlen(data.c_str() + name_at, data.size() - name_at)));
  }
  return true;
}

std::vector<std::string> AbsentDependencies(const std::string& folder, const std::string& file) {
  std::set<std::string> visited = {Lower(file)};
  std::vector<std::string> absent;
  CollectAbsent(folder, file, 0, &visited, &absent);
  return absent;
}
