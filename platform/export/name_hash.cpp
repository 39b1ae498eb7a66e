#include "platform/export/name_hash.h"

#include <cstring>
#include <random>

namespace regfile {
namespace {

std::uint64_t Seed() {
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32 | device()) ^ 0x9E3779B97F4A7C15ULL;
  }();
  return seed;
}

}  // namespace

std::uint64_t NameHash(std::u16string_view units, std::uint64_t salt) {
  static const std::uint64_t seed = Seed();
  // Four units at a time.
  std::uint64_t hash = seed ^ salt ^ (static_cast<std::uint64_t>(units.size()) << 32);
  const char* bytes = reinterpret_cast<const char*>(units.data());
  const std::size_t size = units.size() * 2;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 32;
  }
  if (i < size) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, size - i);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
  }
  return hash ^ hash >> 29;
}

}  // namespace regfile
