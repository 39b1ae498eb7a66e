// The IPv4 address of a computer known only by its NetBIOS name, asked
// for by broadcast on every IPv4 interface that is up (a NetBIOS name
// query, RFC 1002 4.2.12, for the name's server record <20>), as
// libsmbclient resolves a name by broadcast. Used to probe a computer
// before libsmbclient connects to it (address_probe.h), never to connect.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace smb {

// The longest NetBIOS name, without its type byte.
inline constexpr std::size_t kMaxNetbiosName = 15;

// The query's request for `name` (ASCII, at most kMaxNetbiosName bytes),
// with transaction `id`; empty for a name that cannot be asked.
std::string NetbiosNameQuery(std::string_view name, std::uint16_t id);

// The address that `reply` gives to the query `id`, dotted; nothing for a
// reply to another query, a negative one or one that cannot be read.
std::optional<std::string> NetbiosQueryAnswer(std::string_view reply, std::uint16_t id);

// Broadcasts the query and waits at most `limit`, or until `cancel` (-1:
// none) becomes readable, for the first positive answer.
std::optional<std::string> ResolveNetbiosName(std::string_view name, std::chrono::milliseconds limit, int cancel);

}  // namespace smb
