// What tests set that no part of the program does: where the discovery
// channel sends its multicast messages. Kept apart from the channel's own
// interface (discovery_channel.h), as test hooks are.
#pragma once

#include <cstdint>
#include <string>

namespace discovery::wsd {

// From now on, channels that are opened send each multicast message once,
// by unicast, to `address` (numeric, 127.0.0.1 or ::1) and `port`, the
// responder that a test runs, instead of to the multicast groups. An
// empty address restores multicast.
void AimDiscoveryAtForTesting(const std::string& address, std::uint16_t port);

}  // namespace discovery::wsd
