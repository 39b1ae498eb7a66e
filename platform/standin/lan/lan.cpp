#include "platform/standin/lan/lan.h"

#include <optional>

namespace standin {
namespace {

std::optional<Lan>& LanInUse() {
  static std::optional<Lan> lan;
  return lan;
}

}  // namespace

const Lan& CurrentLan() {
  std::optional<Lan>& lan = LanInUse();
  if (!lan) lan = LoadLanFromEnvironment();
  return *lan;
}

void UseLanForTesting(Lan lan) { LanInUse() = std::move(lan); }

}  // namespace standin
