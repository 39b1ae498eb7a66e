// How WS-Discovery looks for computers, read from the environment:
//
//   KESTROVA_WSD_WINDOW      seconds (a decimal number above 0, at most
//                            60) that replies to the probe are collected;
//                            default 3.
//   KESTROVA_WSD_INTERFACES  the network interfaces to probe on, by name,
//                            separated by commas (eth0,wlan0); default
//                            every interface that is up.
//
// The default window: a responder waits up to 0.5 s before it answers a
// multicast message, the probe's last repeat leaves up to 0.75 s after the
// first, and a computer that gives no transport address (wsdd) needs a
// Resolve, with its own repeats and wait, before its metadata can be
// asked for. Three seconds hold all of that, a lost datagram on each leg
// and the metadata requests on a LAN, with a margin.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace discovery::wsd {

inline constexpr const char* kWindowVariable = "KESTROVA_WSD_WINDOW";
inline constexpr const char* kInterfacesVariable = "KESTROVA_WSD_INTERFACES";
inline constexpr int kDefaultWindowMilliseconds = 3000;
inline constexpr int kMaxWindowMilliseconds = 60 * 1000;
// More names than any host has interfaces.
inline constexpr std::size_t kMaxInterfaceNames = 64;

struct WsdSettings {
  int WindowMilliseconds = kDefaultWindowMilliseconds;
  // Empty: every interface that is up.
  std::vector<std::string> Interfaces;
  // What one metadata request (its connection and its whole reply) and
  // one Resolve (its copies and the wait for its answer) may take. No
  // setting changes them; tests shorten them.
  std::chrono::milliseconds GetTimeLimit{2000};
  std::chrono::milliseconds ResolveTimeLimit{2000};
};

// KESTROVA_WSD_WINDOW's seconds in milliseconds; nullopt for text that is
// not a number above 0 and at most 60.
std::optional<int> ParseWindow(std::string_view seconds);

// KESTROVA_WSD_INTERFACES's names, blanks around each ignored; nullopt
// for an empty name, a name longer than an interface name can be (15
// bytes) or holding a blank, a control character or a slash, or more than
// kMaxInterfaceNames names.
std::optional<std::vector<std::string>> ParseInterfaces(std::string_view names);

// A duration as messages give it: "3 s", "0.25 s".
std::string SecondsText(std::chrono::milliseconds duration);

// The settings that the environment gives; a value that is refused is
// reported to `diagnostics` and its default used.
WsdSettings WsdSettingsFromEnvironment(std::ostream& diagnostics);

}  // namespace discovery::wsd
