#include "platform/discovery/host_list.h"

#include <arpa/inet.h>

#include <cerrno>
#include <charconv>
#include <string>

#include "platform/discovery/discovery_source.h"
#include "platform/lan/opened_file.h"
#include "platform/lan/visible_text.h"

namespace discovery {
namespace {

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A name as given: no control character, nothing that ends a host's part
// of a path (slash, backslash) and no colon, which would name a port.
bool IsHostName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

std::string Where(std::string_view origin, bool is_file, int line) {
  std::string where = lan::VisibleText(origin);
  if (is_file) where += ": line " + std::to_string(line);
  return where;
}

void AddEntry(std::string_view entry, const std::string& where, HostList& list, std::ostream& diagnostics) {
  if (entry.find('/') != std::string_view::npos) {
    Ipv4Range range;
    if (!ParseIpv4Range(entry, range)) {
      diagnostics << "kestrova: " << where << ": " << lan::QuotedVisibleText(entry)
                  << " is no IPv4 range (a.b.c.d/n); it is left out\n";
      return;
    }
    // A range that the limit would cut is refused whole: probing an
    // arbitrary part of it would pass the rest off as empty.
    if (range.Count > kMaxRangeAddresses - list.RangeAddresses) {
      diagnostics << "kestrova: " << where << ": " << lan::QuotedVisibleText(range.Text)
                  << " is not probed: the ranges "
                  << "may hold at most " << kMaxRangeAddresses << " addresses together (a /16)\n";
      return;
    }
    list.RangeAddresses += range.Count;
    list.Ranges.push_back(std::move(range));
    return;
  }
  if (IsIpAddress(entry)) {
    list.Hosts.push_back({std::string(entry), true});
  } else if (IsHostName(entry)) {
    list.Hosts.push_back({std::string(entry), false});
  } else {
    diagnostics << "kestrova: " << where << ": " << lan::QuotedVisibleText(entry)
                << " is no host name, address or IPv4 range; it is left out\n";
  }
}

}  // namespace

bool ParseIpv4Range(std::string_view text, Ipv4Range& range) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string address(text.substr(0, slash));
  const std::string_view bits_text = text.substr(slash + 1);
  in_addr parsed{};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return false;
  unsigned bits = 0;
  const auto [end, error] = std::from_chars(bits_text.data(), bits_text.data() + bits_text.size(), bits);
  if (error != std::errc{} || end != bits_text.data() + bits_text.size() || bits_text.empty() || bits > 32 ||
      (bits_text.size() > 1 && bits_text.front() == '0')) {
    return false;
  }
  const std::uint64_t size = std::uint64_t{1} << (32 - bits);
  const std::uint32_t network = static_cast<std::uint32_t>(ntohl(parsed.s_addr) & ~(size - 1));
  range.Text = std::string(text);
  if (size <= 2) {
    range.First = network;
    range.Count = size;
  } else {
    range.First = network + 1;
    range.Count = size - 2;
  }
  return true;
}

bool IsIpAddress(std::string_view text) {
  if (text.empty() || text.size() > kMaxNameBytes) return false;
  std::string address(text);
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return true;
  const auto zone = address.find('%');
  if (zone != std::string::npos) {
    const std::string_view name = std::string_view(address).substr(zone + 1);
    if (name.empty() || !IsHostName(name) || name.find('%') != std::string_view::npos) return false;
    address.resize(zone);
  }
  in6_addr v6{};
  return inet_pton(AF_INET6, address.c_str(), &v6) == 1;
}

void AddHostEntries(std::string_view text, std::string_view origin, bool is_file, HostList& list,
                    std::ostream& diagnostics) {
  int line = 1;
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (c == '\n') {
      ++line;
      ++at;
    } else if (IsSeparator(c)) {
      ++at;
    } else if (is_file && c == '#') {
      const auto end = text.find('\n', at);
      at = end == std::string_view::npos ? text.size() : end;
    } else {
      std::size_t end = at;
      while (end < text.size() && !IsSeparator(text[end]) && !(is_file && text[end] == '#')) ++end;
      AddEntry(text.substr(at, end - at), Where(origin, is_file, line), list, diagnostics);
      at = end;
    }
  }
}

void ReadHostsFile(const std::filesystem::path& path, HostList& list, std::ostream& diagnostics) {
  const std::string name = path.string();
  lan::OpenedFile file(path);
  std::string text;
  int error = file.Error();
  if (error == 0 && !file.IsRegular()) {
    diagnostics << "kestrova: " << lan::VisibleText(name) << ": the host list is " << file.NotRegular()
                << ", not a file; it is not read\n";
    return;
  }
  if (error == 0) error = file.ReadAll(kMaxHostsFileBytes, text);
  if (error == EFBIG) {
    diagnostics << "kestrova: " << lan::VisibleText(name) << ": the host list is larger than "
                << kMaxHostsFileBytes / (1024 * 1024) << " MiB; it is not read\n";
    return;
  }
  if (error != 0) {
    diagnostics << "kestrova: " << lan::VisibleText(name) << ": the host list cannot be read (" << lan::ErrorText(error)
                << ")\n";
    return;
  }
  AddHostEntries(text, name, true, list, diagnostics);
}

}  // namespace discovery
