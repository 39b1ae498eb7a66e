// Where the stand-in's LAN comes from: the choice that the environment
// makes, and the LAN directory as a LAN source with its computers'
// registries read from their export files.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"
#include "platform/lan/progress_report.h"

namespace standin {

// The environment variable that names the LAN.
inline constexpr const char* kLanVariable = "KESTROVA_LAN";

// The LAN that KESTROVA_LAN names: "smb://" or "smb://NAME" (in any case)
// for the real network over SMB (smb_network_loader.h), any other value a
// LAN directory (lan_directory_reader.h). Unset or empty, the sample LAN
// that ships with the program. Every message about the LAN, now and when
// its registries are read, goes to diagnostics, and what its sources wait
// for to progress; both must outlive the source.
std::unique_ptr<lan::LanSource> OpenLanFromEnvironment(std::ostream& diagnostics,
                                                       lan::ProgressReport& progress = lan::NoProgressReport());

// The program's LAN: OpenLanFromEnvironment, its messages on standard
// error and its progress on the program's status line, which starts here
// (program_status.h).
std::unique_ptr<lan::LanSource> OpenProgramLan();

// A LAN model served as a LAN directory is: its browse hierarchy, and each
// computer's registry read from its export file when it is connected.
std::unique_ptr<lan::LanSource> ServeLanModel(lan::Lan model, std::ostream& diagnostics);

// Where the sample LAN that ships with the program lies: beside an
// installed program in ../share/kestrova/lan, or in the source tree it was
// built from.
std::optional<std::filesystem::path> SampleLanDirectory();

}  // namespace standin
