#include "platform/standin/lan/lan_in_use.h"

#include <iostream>

#include "platform/standin/lan/lan_selection.h"

namespace standin {
namespace {

std::unique_ptr<lan::LanSource>& Source() {
  static std::unique_ptr<lan::LanSource> source;
  return source;
}

}  // namespace

lan::LanSource& LanInUse() {
  std::unique_ptr<lan::LanSource>& source = Source();
  if (source == nullptr) source = OpenLanFromEnvironment(std::cerr);
  return *source;
}

void UseLanForTesting(std::unique_ptr<lan::LanSource> source) { Source() = std::move(source); }

void UseLanForTesting(lan::Lan model) { Source() = ServeLanModel(std::move(model), std::cerr); }

}  // namespace standin
