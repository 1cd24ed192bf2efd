// The record store: distinct records in the order first found. Equal
// records are dropped as they arrive, so the store's limit counts distinct
// records and a table re-read by the next run never counts twice.
#include <cstring>
#include <functional>

#include "fatal.h"
#include "harvest.h"

namespace ehi {

constinit String Harvested[MaxHarvested + 1];
int32_t NHarvested = 0;

namespace {

// Open addressing over the store: each slot holds a record's index in the
// low half (0 = empty) and its hash's high bits in the high half, so
// unequal records are rarely compared. Twice the store's capacity keeps the
// runs short.
constexpr size_t kSlots = size_t(1) << 18;
static_assert(kSlots >= 2 * size_t(MaxHarvested));
constinit uint64_t slots[kSlots] = {};
int32_t indexed = 0;  // records 1..indexed are in the slots

// Finds `line` in the slots: true with `at` on its slot, or false with
// `at` on the empty slot where it belongs.
bool Find(std::string_view line, size_t hash, size_t& at) {
  const uint64_t tag = uint64_t(hash >> 32) << 32;
  for (at = hash & (kSlots - 1);; at = (at + 1) & (kSlots - 1)) {
    const uint64_t slot = slots[at];
    if (slot == 0) return false;
    if ((slot & ~uint64_t(0xFFFFFFFF)) == tag && Harvested[uint32_t(slot)].View() == line)
      return true;
  }
}

void Index(int32_t i, size_t hash, size_t at) {
  slots[at] = (uint64_t(hash >> 32) << 32) | uint32_t(i);
}

// Brings the slots in step with a store that was changed directly.
void Resync() {
  if (NHarvested < indexed) {
    std::memset(slots, 0, sizeof slots);
    indexed = 0;
  }
  std::hash<std::string_view> hasher;
  for (; indexed < NHarvested; ++indexed) {
    std::string_view v = Harvested[indexed + 1].View();
    size_t h = hasher(v), at;
    if (!Find(v, h, at)) Index(indexed + 1, h, at);
  }
}

}  // namespace

void ClearHarvested() {
  NHarvested = 0;
  Resync();
}

void ForgetHarvestedOrder() {
  std::memset(slots, 0, sizeof slots);
  indexed = 0;
}

void AddHarvested(std::string_view Line) {
  if (indexed != NHarvested) Resync();
  const String line(Line);  // what the store keeps: at most 255 bytes
  const size_t h = std::hash<std::string_view>()(line.View());
  size_t at;
  if (Find(line.View(), h, at)) return;
  if (NHarvested >= MaxHarvested) RunAbort("AddHarvested tried to store too many records.");
  ++NHarvested;
  Harvested[NHarvested] = line;
  Index(NHarvested, h, at);
  indexed = NHarvested;
}

}  // namespace ehi
