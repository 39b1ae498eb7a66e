// One open enumeration of a level of the simulated network, as both the
// stand-in's WNetEnumResourceA and the test network provider for Wine
// serve it: the level's records (filtered by type and usage, without what
// lies below them), how far the caller has got, and the level's faults.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "platform/lan/lan_model.h"

namespace standin {

struct LevelEnumeration {
  std::vector<NetworkRecord> Records;
  std::size_t Next = 0;
  int BatchesReturned = 0;
  std::optional<DWORD> EnumError;
  int EnumErrorAfterBatches = 0;
  std::optional<DWORD> MaxRecordsPerBatch;
};

// The records of level that an enumeration of type and usage returns.
LevelEnumeration EnumerateLevel(const NetworkRecord& level, DWORD type, DWORD usage);

// What the next batch may hold: NO_ERROR with the records not yet returned
// and the most that the batch may take (the count asked for, 0xFFFFFFFF
// for as many as fit, within the level's limit per batch); or the level's
// fault once it is due; or ERROR_NO_MORE_ITEMS at the end.
struct NextBatch {
  DWORD Status = NO_ERROR;
  std::span<const NetworkRecord> Remaining;
  DWORD MostRecords = 0;
};
NextBatch PrepareBatch(const LevelEnumeration& enumeration, DWORD requested);

// Notes that a batch of placed records was returned.
void FinishBatch(LevelEnumeration& enumeration, DWORD placed);

}  // namespace standin
