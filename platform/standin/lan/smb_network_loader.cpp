#include "platform/standin/lan/smb_network_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/lan/visible_text.h"
#include "platform/smb/smb_network_module.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

// Where the module may be, in the order tried: the installed copy, found
// from the program's own place, then the one the build made (the build
// passes in both paths).
std::vector<fs::path> ModuleCandidates() {
  std::vector<fs::path> candidates;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) candidates.push_back(program.parent_path().parent_path() / KESTROVA_SMB_MODULE_INSTALLED);
  candidates.emplace_back(KESTROVA_SMB_MODULE_BUILT);
  return candidates;
}

}  // namespace

std::unique_ptr<lan::LanSource> LoadSmbNetwork(std::ostream& diagnostics, lan::ProgressReport& progress) {
  std::string failure;
  for (const fs::path& candidate : ModuleCandidates()) {
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) continue;
    // Never closed: the network's code and its objects live in the module.
    void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      failure = dlerror();
      break;
    }
    auto* open = reinterpret_cast<smb::OpenSmbNetworkFunction*>(dlsym(module, smb::kOpenSmbNetworkSymbol));
    if (open == nullptr) {
      failure = candidate.string() + " has no entry point " + smb::kOpenSmbNetworkSymbol;
      break;
    }
    return std::unique_ptr<lan::LanSource>(open(diagnostics, progress));
  }
  if (failure.empty()) failure = std::string(smb::kSmbNetworkModuleName) + " was not found beside the program";
  // The reason names the module's path, which may hold any byte.
  diagnostics << "kestrova: the SMB network cannot be used: " << lan::VisibleText(failure)
              << "; the network is empty\n";
  return nullptr;
}

}  // namespace standin
