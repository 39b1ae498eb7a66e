// Who the test network provider is: the service it is registered as, the
// provider name it answers to, and where its LAN lies.
#pragma once

namespace network_provider {

// The service key below HKLM\System\CurrentControlSet\Services whose
// NetworkProvider subkey registers the provider, and the entry that
// stands for it in the provider order.
inline constexpr const wchar_t* kServiceName = L"KestrovaLan";

// The provider's name. Every record it hands out carries exactly this
// name as its provider, so that the multiple provider router sends the
// enumeration of a container back to it. The router lists the provider
// under this name at the top of the network; a LAN description names its
// own networks (usually "Microsoft Windows Network") below it.
inline constexpr const wchar_t* kProviderName = L"Kestrova Test LAN";

// The file name of the provider's library, beside the program that
// registers it.
inline constexpr const wchar_t* kLibraryFileName = L"kestrova_network_provider.dll";

// The environment variable that names the LAN directory (a Windows path),
// as on Linux.
inline constexpr const wchar_t* kLanDirectoryVariable = L"KESTROVA_LAN";

}  // namespace network_provider
