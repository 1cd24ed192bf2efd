// The harvest: walk the start directory, collect every 19-tab record of
// every file whose name contains "EHI" (or "Orvitan"), then sort, remove
// duplicates, report the count and write the table "Orvitan.Tab".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shortstring.h"

namespace ehi {

/// Capacity of the record store, in distinct records.
constexpr int32_t MaxHarvested = 100000;
/// The longest path the run can open: paths are short strings, and one
/// longer stops the run where it must be used.
constexpr size_t MaxPathLength = 255;
/// The table a run writes and the next run reads back.
constexpr std::string_view TableName = "Orvitan.Tab";
/// The records, 1..NHarvested, in the order found until sorted.
extern String Harvested[MaxHarvested + 1];
/// Number of records held.
extern int32_t NHarvested;

/// Visits one directory (path relative to the start directory, "" for the
/// start directory) and everything below it.
void HarvestDir(std::string_view Path);
/// Whether a file name qualifies: it contains "EHI" or "Orvitan".
bool HasEHI(std::string_view Name);
/// Reads one qualifying file and stores its records.
void HarvestFile(std::string_view Path);
/// Whether a line holds exactly 19 tab characters.
bool HasNineteenTabs(std::string_view Line);
/// Puts a three-character number extension into a record's first field when
/// that field ends in a space and three digits (see the user guide).
void SubstituteExtension(String& Line, std::string_view Ext);
/// Whether an extension (without its dot) is a three-character number.
bool IsNumberExtension(std::string_view Ext);
/// Appends one record unless an equal one is stored already; stops the run
/// when a new distinct record finds the store full.
void AddHarvested(std::string_view Line);
/// Empties the store.
void ClearHarvested();
/// Tells the store's duplicate check that records were moved (by a sort).
void ForgetHarvestedOrder();

/// Orders the store ascending by bytes.
void SortHarvested();
/// Keeps one record of each run of equal records (on a sorted store).
void RemoveDuplicates();
/// Writes the console report and, when there are records, the table.
void WriteResults();

/// The whole run: empties the store, walks, sorts, de-duplicates, writes.
void RunHarvest();

}  // namespace ehi
