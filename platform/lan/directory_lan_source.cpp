#include "platform/lan/directory_lan_source.h"

#include <optional>

#include "platform/lan/container_lookup.h"
#include "platform/lan/model_level.h"
#include "platform/lan/name_folding.h"
#include "platform/lan/utf16_text.h"

namespace lan {
namespace {

std::optional<std::string> Utf8(const std::optional<std::u16string>& text) {
  if (!text) return std::nullopt;
  return Utf8FromUtf16(*text);
}

}  // namespace

DirectoryLanSource::DirectoryLanSource(Lan model, ExportRegistryOpener open_registry, std::ostream& diagnostics)
    : model_(std::move(model)),
      containers_(model_.Top),
      open_registry_(std::move(open_registry)),
      diagnostics_(diagnostics) {
  computers_by_name_.reserve(model_.Computers.size());
  for (std::size_t i = 0; i < model_.Computers.size(); ++i) {
    computers_by_name_.emplace(FoldedName(Utf16FromUtf8(WithoutNetworkPrefix(model_.Computers[i].Name))), i);
  }
}

DWORD DirectoryLanSource::OpenLevel(const BrowseRecord* container, DWORD type, DWORD usage,
                                    std::unique_ptr<BrowseLevel>& level) {
  const NetworkRecord* opened = &model_.Top;
  if (container != nullptr) {
    const std::optional<std::string> remote_name = Utf8(container->RemoteName);
    const std::optional<std::string> provider = Utf8(container->Provider);
    opened = containers_.Find(remote_name, provider);
    if (opened == nullptr) return ERROR_BAD_NETPATH;
  }
  if (opened->OpenError && *opened->OpenError != NO_ERROR) return *opened->OpenError;
  level = std::make_unique<ModelLevel>(*opened, type, usage);
  return NO_ERROR;
}

DWORD DirectoryLanSource::ConnectRegistry(std::u16string_view machine, HKEY root,
                                          std::unique_ptr<RemoteRegistry>& registry) {
  if (machine.empty()) return ERROR_BAD_NETPATH;
  const auto found = computers_by_name_.find(FoldedName(machine));
  if (found == computers_by_name_.end()) return ERROR_BAD_NETPATH;
  const Computer& computer = model_.Computers[found->second];
  if (computer.ConnectError && *computer.ConnectError != NO_ERROR) return *computer.ConnectError;
  if (!open_registry_) return ERROR_NOT_SUPPORTED;
  return open_registry_(computer, root, diagnostics_, registry);
}

}  // namespace lan
