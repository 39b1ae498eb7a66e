// A LAN directory served as a LAN source: the browse hierarchy of its model
// (lan_directory_reader.h reads it), with the faults of every level, and
// each computer's registry, opened from its export file by an opener that
// the user of this class supplies.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>

#include "platform/lan/container_lookup.h"
#include "platform/lan/lan_model.h"
#include "platform/lan/lan_source.h"

namespace lan {

// Opens the registry of a computer of the directory at root (its export
// file, its denied keys and failing values), as ConnectRegistry does; a
// file that cannot be read is reported on diagnostics.
using ExportRegistryOpener = std::function<DWORD(const Computer& computer, HKEY root, std::ostream& diagnostics,
                                                 std::unique_ptr<RemoteRegistry>& registry)>;

class DirectoryLanSource final : public LanSource {
 public:
  // Without an opener, no registry can be connected: ConnectRegistry
  // answers ERROR_NOT_SUPPORTED for every computer that it finds.
  DirectoryLanSource(Lan model, ExportRegistryOpener open_registry, std::ostream& diagnostics);
  // The index points into the model.
  DirectoryLanSource(const DirectoryLanSource&) = delete;
  DirectoryLanSource& operator=(const DirectoryLanSource&) = delete;

  const Lan& Model() const { return model_; }

  // A container is found as container_lookup.h says, by its names in
  // UTF-8.
  DWORD OpenLevel(const BrowseRecord* container, DWORD type, DWORD usage, std::unique_ptr<BrowseLevel>& level) override;

  // A computer is found by its name (with or without two leading
  // backslashes in the model) compared as name_folding.h compares.
  DWORD ConnectRegistry(std::u16string_view machine, HKEY root, std::unique_ptr<RemoteRegistry>& registry) override;

 private:
  Lan model_;
  ContainerIndex containers_;
  // The first computer of the model by each name as it is compared.
  std::unordered_map<std::u16string, std::size_t> computers_by_name_;
  ExportRegistryOpener open_registry_;
  std::ostream& diagnostics_;
};

}  // namespace lan
