// Lists one computer's installed applications: the display name of every
// subkey of its uninstall key, read from its registry over the network.
#include "app/inventory.h"
#include "platform/windows_api.h"
#include "registry/registry.h"
#include "runtime/text_file.h"

namespace {

constexpr const char* kMachinePrefix = "\\\\";
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kApplicationKeyPrefix = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kDisplayName = "DisplayName";
constexpr const char* kEveryApplication = "*";
constexpr const char* kLinePrefix = " -> ";

bool Matches(const Text& app_name, const Text& display_name) {
  if (TextEquals(app_name, kEveryApplication)) return true;
  return FindSubstring(AsciiLower(app_name), AsciiLower(display_name)) > 0;
}

}  // namespace

// A computer that cannot be reached, or whose uninstall key cannot be
// opened with full access, lists nothing; the local registry is never read
// in its place. A subkey without a display name, or with an empty one, is
// skipped. The accessor is destroyed on every way out, closing what it
// holds.
void ListInstalledApplications(const Text& computer, const Text& app_name) {
  TRegistry registry;
  registry.SelectRoot(HKEY_LOCAL_MACHINE);
  if (!registry.ConnectMachine(JoinTexts(kMachinePrefix, computer))) return;
  if (!registry.EnterKey(kUninstallKey, false)) return;
  TStringList subkeys;
  registry.ListSubkeys(subkeys);
  registry.LeaveKey();
  const std::int32_t count = subkeys.Count();
  for (std::int32_t index = 0; index < count; ++index) {
    registry.EnterKey(JoinTexts(kApplicationKeyPrefix, subkeys.Get(index)), false);
    if (registry.HasValue(kDisplayName)) {
      const Text display_name = registry.ReadText(kDisplayName);
      if (TextLength(display_name) > 0 && Matches(app_name, display_name)) {
        PutLine(JoinTexts(kLinePrefix, display_name));
      }
    }
    registry.LeaveKey();
  }
}
