// The record store: distinct records in the order first found. Equal
// records are dropped as they arrive, so the store's limit counts distinct
// records and a table re-read by the next run never counts twice.
#include <functional>
#include <vector>

#include "compiler.h"
#include "fatal.h"
#include "harvest.h"
#include "platform.h"

namespace ehi {

EHI_LARGE_PAGE_ALIGNED constinit String Harvested[MaxHarvested + 1];
int32_t NHarvested = 0;

namespace {

// Open addressing over the store: each slot holds a record's index in the
// low half (0 = empty) and its hash's high bits in the high half, so
// unequal records are rarely compared. A record's home slot comes from
// those high bits too, so the table grows without hashing a record again.
// It stays at most half full: a small harvest's table stays in the cache.
std::vector<uint64_t> slots(4096, 0);
size_t used = 0;
int32_t indexed = 0;  // records 1..indexed are in the slots

size_t Mask() { return slots.size() - 1; }

// Finds `line` in the slots: true with `at` on its slot, or false with
// `at` on the empty slot where it belongs.
uint64_t Tag(size_t hash) { return uint64_t(hash >> 32) << 32; }
size_t Home(uint64_t tag) { return size_t(tag >> 32) & Mask(); }

bool Find(std::string_view line, size_t hash, size_t& at) {
  const uint64_t tag = Tag(hash);
  for (at = Home(tag);; at = (at + 1) & Mask()) {
    const uint64_t slot = slots[at];
    if (slot == 0) return false;
    if ((slot & ~uint64_t(0xFFFFFFFF)) == tag && Harvested[uint32_t(slot)].View() == line)
      return true;
  }
}

void Index(int32_t i, size_t hash, size_t at) {
  slots[at] = Tag(hash) | uint32_t(i);
  ++used;
}

void Forget() {
  slots.assign(4096, 0);
  used = 0;
  indexed = 0;
}

// Doubles the table when it would be more than half full.
void MakeRoom() {
  if (2 * (used + 1) <= slots.size()) return;
  std::vector<uint64_t> old(slots.size() * 2, 0);
  old.swap(slots);
  for (uint64_t slot : old) {
    if (slot == 0) continue;
    size_t at = Home(slot);
    while (slots[at] != 0) at = (at + 1) & Mask();
    slots[at] = slot;
  }
}

// Brings the slots in step with a store that was changed directly.
void Resync() {
  if (NHarvested < indexed) Forget();
  std::hash<std::string_view> hasher;
  for (; indexed < NHarvested; ++indexed) {
    MakeRoom();
    std::string_view v = Harvested[indexed + 1].View();
    size_t h = hasher(v), at;
    if (!Find(v, h, at)) Index(indexed + 1, h, at);
  }
}

}  // namespace

void ClearHarvested() {
  // Each record takes a 256-byte slot, so a harvest of 20000 records
  // touches 1250 fresh pages; large pages make that a handful of faults.
  static bool hinted = false;
  if (!hinted) sys::PreferLargePages(Harvested, sizeof Harvested);
  hinted = true;
  NHarvested = 0;
  Forget();
}

void ForgetHarvestedOrder() { Forget(); }

void AddHarvested(std::string_view Line) {
  if (indexed != NHarvested) Resync();
  MakeRoom();
  // What the store keeps, at most 255 bytes, is looked up in place: a
  // duplicate is never copied.
  const std::string_view line = Line.substr(0, size_t(String::Capacity()));
  const size_t h = std::hash<std::string_view>()(line);
  size_t at;
  if (Find(line, h, at)) return;
  if (NHarvested >= MaxHarvested) RunAbort("AddHarvested tried to store too many records.");
  ++NHarvested;
  Harvested[NHarvested] = line;
  Index(NHarvested, h, at);
  indexed = NHarvested;
}

}  // namespace ehi
