// A note in memory: its identity, class, times, parent and typed items, as
// the store loads and saves it. Item values are kept in their stored form:
//
//   type              stored value bytes
//   number (1)        8-byte IEEE double, little-endian
//   text (2)          UTF-8 bytes, no terminating 0
//   date-time (3)     8-byte ticks (hundredths of a second since 1970-01-01
//                     00:00:00 UTC, little-endian) + 1 byte: 0x01 has a date,
//                     0x02 has a time
//   text list (4)     entries, each followed by a 0 byte
//   number list (5)   n x 8-byte doubles
//   date-time list (6) n x 9-byte date-times
//   rich text (7), compiled formula (1536): opaque bytes
//   attachment ref (1024): attachment names as a text list
//
// Items blob of a note (column notes.items); numbers marked * are unsigned
// LEB128 varints (7 bits a byte, low first, high bit = more):
//   OFFSET SIZE  field
//   0      1     'I' (format mark)
//   1      1     2 (format version)
//   2      *     item count n
//   ...          n items: name length*, name, type*, flags*, value length*,
//                value
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ledra/vx_types.h"

namespace ledra {

struct Item {
  std::string name;
  uint16_t type = kVXTypeText;
  uint32_t flags = 0;
  std::string value;  // stored form, table above
};

struct Note {
  VXNoteId id = 0;  // 0 until saved
  VXUnid unid;
  uint32_t note_class = kVXClassDocument;
  int64_t created = 0;   // ticks
  int64_t modified = 0;  // ticks
  int64_t sequence = 0;  // modification sequence of the last save
  bool has_parent = false;
  VXUnid parent;
  std::vector<Item> items;

  // Item by name, compared case-insensitively (ASCII letters); null if none.
  Item* FindItem(const std::string& name);
  const Item* FindItem(const std::string& name) const;
  // Replaces the item of that name (keeping its place) or appends it.
  void PutItem(Item item);
  bool RemoveItem(const std::string& name);
};

bool SameName(const std::string& a, const std::string& b);

std::string EncodeItems(const std::vector<Item>& items);
// False when the blob is damaged (items is then empty).
bool DecodeItems(const void* data, size_t size, std::vector<Item>* items);

// Text lists in stored form.
std::vector<std::string> SplitTextList(const std::string& stored);
std::string JoinTextList(const std::vector<std::string>& entries);

// A fresh UNID (unique across processes and machines) and replica id.
VXUnid NewUnid();
void NewReplicaId(uint32_t id[2]);
// Now in ticks.
int64_t NowTicks();

}  // namespace ledra
