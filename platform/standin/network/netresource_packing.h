// How WNetEnumResourceA lays a batch of records out in the caller's
// buffer: NETRESOURCEA records one after the other from the start, their
// strings packed from the end, every string pointer pointing into the
// buffer or null.
#pragma once

#include <cstdint>
#include <span>

#include "platform/lan/lan_model.h"

namespace standin {

// The bytes that one record takes: the NETRESOURCEA itself and each of
// its strings that is not absent, with its terminating zero.
std::uint64_t PackedSize(const NetworkRecord& record);

// Writes as many of `records` as fit into `size` bytes at `buffer`, and
// no more than `wanted`, taken from the front of the list; answers how
// many it wrote. Writes nothing when not even the first fits.
DWORD PackRecords(std::span<const NetworkRecord> records, DWORD wanted, void* buffer, DWORD size);

}  // namespace standin
