// How the provider lays a batch of records out in the router's buffer:
// NETRESOURCEW records one after the other from the start, their UTF-16
// strings packed from the end, every string pointer pointing into the
// buffer or null. The LAN holds its names in UTF-8.
#pragma once

#include <cstdint>
#include <span>

#include "platform/lan/lan_model.h"

namespace network_provider {

// The bytes that one record takes, its provider name being `provider`.
std::uint64_t WidePackedSize(const standin::NetworkRecord& record, const wchar_t* provider);

// Writes as many of `records` as fit into `size` bytes at `buffer`, and
// no more than `wanted`, taken from the front; each gets `provider` as its
// provider name. Answers how many it wrote: none when not even the first
// fits.
DWORD PackWideRecords(std::span<const standin::NetworkRecord> records, DWORD wanted, const wchar_t* provider,
                      void* buffer, DWORD size);

}  // namespace network_provider
