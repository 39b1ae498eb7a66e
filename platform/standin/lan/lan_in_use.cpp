#include "platform/standin/lan/lan_in_use.h"

#include "platform/standin/lan/lan_control.h"
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
  if (source == nullptr) source = OpenProgramLan();
  return *source;
}

void UseLanForTesting(std::unique_ptr<lan::LanSource> source) { Source() = std::move(source); }

void UseLanForTesting(lan::Lan model, std::ostream& diagnostics) {
  Source() = ServeLanModel(std::move(model), diagnostics);
}

void UseEmptyLanForTesting() {
  // An empty LAN opens no file and says nothing: its stream is never used.
  static std::ostream nowhere(nullptr);
  Source() = ServeLanModel(lan::Lan{}, nowhere);
}

}  // namespace standin
