#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "VersionNote.h"

namespace sys {
namespace {

constexpr uint64_t kMaxNoteSection = 1 << 20;  // notes are small; anything larger is damage

bool ReadAt(std::ifstream& in, uint64_t offset, void* data, uint64_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
  return in.good();
}

uint64_t Align4(uint64_t n) {
  return (n + 3) & ~uint64_t{3};
}

// Walks the notes of one note section; every size is checked against the section's end.
bool FindInNotes(const std::vector<char>& notes, uint32_t& high, uint32_t& low) {
  uint64_t at = 0;
  while (at + 12 <= notes.size()) {
    uint32_t head[3];
    std::memcpy(head, notes.data() + at, sizeof head);
    uint64_t name = at + 12, desc = name + Align4(head[0]), next = desc + Align4(head[1]);
    if (next > notes.size()) return false;
    if (head[0] == sizeof kVersionNoteOwner && head[2] == kVersionNoteType && head[1] == 8 &&
        std::memcmp(notes.data() + name, kVersionNoteOwner, sizeof kVersionNoteOwner) == 0) {
      std::memcpy(&high, notes.data() + desc, 4);
      std::memcpy(&low, notes.data() + desc + 4, 4);
      return true;
    }
    at = next;
  }
  return false;
}

template <typename Ehdr, typename Shdr>
bool FindVersionNote(std::ifstream& in, uint32_t& high, uint32_t& low) {
  Ehdr header;
  if (!ReadAt(in, 0, &header, sizeof header) || header.e_shentsize != sizeof(Shdr)) return false;
  for (uint32_t i = 0; i < header.e_shnum; ++i) {
    Shdr section;
    if (!ReadAt(in, header.e_shoff + uint64_t{i} * sizeof(Shdr), &section, sizeof section)) {
      return false;
    }
    if (section.sh_type != SHT_NOTE || section.sh_size > kMaxNoteSection) continue;
    std::vector<char> notes(section.sh_size);
    if (ReadAt(in, section.sh_offset, notes.data(), notes.size()) &&
        FindInNotes(notes, high, low)) {
      return true;
    }
  }
  return false;
}

bool IsHostByteOrder(unsigned char data) {
  const uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return data == (first ? ELFDATA2LSB : ELFDATA2MSB);
}

}  // namespace

bool ReadVersionNote(const std::string& path, uint32_t& high, uint32_t& low) {
  std::ifstream in(path, std::ios::binary);
  unsigned char ident[EI_NIDENT];
  if (!ReadAt(in, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0 ||
      !IsHostByteOrder(ident[EI_DATA])) {
    return false;
  }
  if (ident[EI_CLASS] == ELFCLASS64) return FindVersionNote<Elf64_Ehdr, Elf64_Shdr>(in, high, low);
  if (ident[EI_CLASS] == ELFCLASS32) return FindVersionNote<Elf32_Ehdr, Elf32_Shdr>(in, high, low);
  return false;
}

}  // namespace sys
