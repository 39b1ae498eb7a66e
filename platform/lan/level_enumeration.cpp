#include "platform/lan/level_enumeration.h"

#include <algorithm>

namespace standin {
namespace {

bool Wanted(const NetworkRecord& record, DWORD type, DWORD usage) {
  // Containers and records of no particular type go with every type.
  if (type != RESOURCETYPE_ANY && record.Type != RESOURCETYPE_ANY && record.Type != type) return false;
  const DWORD kinds = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
  return kinds == 0 || (record.Usage & kinds) != 0;
}

}  // namespace

LevelEnumeration EnumerateLevel(const NetworkRecord& level, DWORD type, DWORD usage) {
  LevelEnumeration enumeration;
  for (const NetworkRecord& child : level.Children) {
    if (!Wanted(child, type, usage)) continue;
    NetworkRecord copy = child;
    copy.Children.clear();
    enumeration.Records.push_back(std::move(copy));
  }
  enumeration.EnumError = level.EnumError;
  enumeration.EnumErrorAfterBatches = level.EnumErrorAfterBatches;
  enumeration.MaxRecordsPerBatch = level.MaxRecordsPerBatch;
  return enumeration;
}

NextBatch PrepareBatch(const LevelEnumeration& enumeration, DWORD requested) {
  NextBatch batch;
  if (enumeration.EnumError && *enumeration.EnumError != NO_ERROR &&
      enumeration.BatchesReturned >= enumeration.EnumErrorAfterBatches) {
    batch.Status = *enumeration.EnumError;
    return batch;
  }
  batch.Remaining = std::span<const NetworkRecord>(enumeration.Records).subspan(enumeration.Next);
  if (batch.Remaining.empty()) {
    batch.Status = ERROR_NO_MORE_ITEMS;
    return batch;
  }
  batch.MostRecords = requested;
  if (enumeration.MaxRecordsPerBatch && requested > *enumeration.MaxRecordsPerBatch) {
    batch.MostRecords = std::max<DWORD>(*enumeration.MaxRecordsPerBatch, 1);
  }
  return batch;
}

void FinishBatch(LevelEnumeration& enumeration, DWORD placed) {
  enumeration.Next += placed;
  ++enumeration.BatchesReturned;
}

}  // namespace standin
