// The description file of a LAN directory: a JSON document that gives the
// network hierarchy record by record, with the faults of its levels, and
// the faults of the computers. examples/lan/README.md documents the
// format.
//
// Mistakes never stop the reading: each is reported as one line,
// "kestrova: FILE:LINE: what is wrong", and the record, computer entry or
// failing value that holds it is left out; the rest is used. Only a text
// that is not a JSON object at all, or that describes too much, gives no
// description, so that the directory falls back to its plain layout. The
// text is read as a stream: only the model is built.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lan/lan_model.h"

namespace lan {

// The name of the description file in a LAN directory.
inline constexpr const char* kLanDescriptionFileName = "lan.json";

// What a description may hold, since all that it describes is kept in
// memory: a larger file, or one that describes more elements (records,
// computers, denied keys and failing values in all), is refused whole.
inline constexpr std::uint64_t kMaxDescriptionSize = 8 * 1024 * 1024;
inline constexpr std::uint64_t kMaxDescribedItems = 250000;

// The provider of the Windows network, and of every record that names
// none of its own.
inline constexpr const char* kWindowsNetworkProvider = "Microsoft Windows Network";

struct LanDescription {
  // The faults of the top level, and its records when HasHierarchy.
  NetworkRecord Top;
  // True when the description gives the hierarchy itself; otherwise the
  // directory's plain layout is used, with the faults of Top.
  bool HasHierarchy = false;
  // The computers that the description names, with their faults; their
  // RegistryFile is empty.
  std::vector<Computer> Computers;
  // The iconv name of the code page of the LAN's REGEDIT4 exports; empty
  // when not given.
  std::string CodePage;
};

// Reads a description; file_name is used in messages only.
std::optional<LanDescription> ParseLanDescription(std::string_view text, const std::string& file_name,
                                                  std::ostream& diagnostics);

}  // namespace lan
