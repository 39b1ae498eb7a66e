// Drives the SMB LAN source and its pipes without the program, for the
// Samba suite and the benchmark:
//
//   kestrova_smb_probe browse          the browse hierarchy, one record a
//                                      line, indented by depth, down to
//                                      the servers
//   kestrova_smb_probe bind HOST...    opens \pipe\winreg on each HOST and
//                                      binds the remote registry interface:
//                                      "HOST ok" or "HOST error N"
//   kestrova_smb_probe shares NAME     the records below the server \\NAME
//   kestrova_smb_probe inventory [NAME...]
//                                      what `kestrova '*'` prints, made the
//                                      way the program makes it (every
//                                      server of the browse walk, in its
//                                      order, or the NAMEs in their order; the
//                                      DisplayName of each Uninstall
//                                      subkey), in UTF-8
//   kestrova_smb_probe burst HOST PIPES CALLS
//                                      opens and binds PIPES pipes, then
//                                      makes CALLS OpenHKLM calls on each,
//                                      every pipe from its own thread:
//                                      the calls per second over all pipes
//   kestrova_smb_probe bind-twice HOST FILE [MS]
//                                      binds, prints "HOST bound", waits
//                                      for FILE to exist, binds again over
//                                      the same pipe (with a deadline MS
//                                      milliseconds away) and prints the
//                                      result
//
// Settings come from the environment as for the program. Timings go to
// standard error.
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/lan/utf16_text.h"
#include "platform/smb/discovery_sources.h"
#include "platform/smb/rpc/pdu.h"
#include "platform/smb/smb_lan_source.h"
#include "platform/smb/smb_pipe_opener.h"
#include "platform/smb/winreg/messages.h"
#include "platform/smb/winreg/session.h"
#include "tests/support/uninstall_listing.h"

namespace {

// Names to and from the network, as the SMB side converts them.
std::string Utf8(std::u16string_view text) { return lan::Utf8FromUtf16(text, lan::Undecodable::kReplaced); }
std::u16string Utf16(std::string_view text) { return lan::Utf16FromUtf8(text, lan::Undecodable::kReplaced); }

std::string Text(const std::optional<std::u16string>& text) { return text ? "\"" + Utf8(*text) + "\"" : "null"; }

void Walk(smb::SmbLanSource& source, const lan::BrowseRecord* container, int depth) {
  std::unique_ptr<lan::BrowseLevel> level;
  if (const DWORD error = source.OpenLevel(container, RESOURCETYPE_ANY, 0, level); error != NO_ERROR) {
    std::cout << std::string(depth * 2, ' ') << "open error " << error << "\n";
    return;
  }
  for (;;) {
    std::span<const lan::BrowseRecord> records;
    const DWORD error = level->Peek(1, records);
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error != NO_ERROR) {
      std::cout << std::string(depth * 2, ' ') << "enum error " << error << "\n";
      break;
    }
    const lan::BrowseRecord record = records.front();
    level->Advance(1);
    std::cout << std::string(depth * 2, ' ') << "display=" << record.DisplayType << " usage=" << record.Usage
              << " remote=" << Text(record.RemoteName) << " comment=" << Text(record.Comment)
              << " provider=" << Text(record.Provider) << "\n";
    const bool container = (record.Usage & RESOURCEUSAGE_CONTAINER) != 0;
    if (container && record.DisplayType != RESOURCEDISPLAYTYPE_SERVER) Walk(source, &record, depth + 1);
  }
}

void CollectServers(smb::SmbLanSource& source, const lan::BrowseRecord* container, std::vector<std::u16string>& out) {
  std::unique_ptr<lan::BrowseLevel> level;
  if (source.OpenLevel(container, RESOURCETYPE_ANY, 0, level) != NO_ERROR) return;
  for (;;) {
    std::span<const lan::BrowseRecord> records;
    if (level->Peek(1, records) != NO_ERROR) break;
    const lan::BrowseRecord record = records.front();
    level->Advance(1);
    if (record.DisplayType == RESOURCEDISPLAYTYPE_SERVER && record.RemoteName) {
      out.push_back(record.RemoteName->substr(2));
    } else {
      CollectServers(source, &record, out);
    }
  }
}

// The display names of one computer, as the inventory reads them.
void ListApplications(smb::SmbLanSource& source, const std::u16string& computer) {
  std::cout << "COMPUTER: " << Utf8(computer) << "\r\n" << std::flush;
  std::unique_ptr<lan::RemoteRegistry> registry;
  if (source.ConnectRegistry(computer, HKEY_LOCAL_MACHINE, registry) != NO_ERROR) return;
  for (const testsupport::ListedSubkey& subkey : testsupport::ListUninstallKey(*registry).Subkeys) {
    const std::u16string name = subkey.DisplayName();
    if (!name.empty()) std::cout << " -> " << Utf8(name) << "\r\n" << std::flush;
  }
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// The PTYPE of a reply of `received` bytes, if it has a header.
std::optional<rpc::PduType> TypeOf(const std::vector<std::uint8_t>& reply, std::size_t received) {
  rpc::PduHeader header;
  if (rpc::ParseHeader(std::span(reply).first(received), received, header) != NO_ERROR) return std::nullopt;
  return header.Type;
}

// A bind of the remote registry's interface over the raw pipe; a bind_nak
// counts as an answer, since a second bind on one pipe may get one.
DWORD Exchange(rpc::MessagePipe& pipe, std::size_t& received) {
  if (const DWORD error = pipe.Write(rpc::EncodeBind(1, winreg::kInterface)); error != NO_ERROR) return error;
  std::vector<std::uint8_t> reply(rpc::kOfferedFragmentSize);
  if (const DWORD error = pipe.Read(reply, received); error != NO_ERROR) return error;
  const std::optional<rpc::PduType> type = TypeOf(reply, received);
  return type == rpc::PduType::kBindAck || type == rpc::PduType::kBindNak ? NO_ERROR : ERROR_INVALID_PARAMETER;
}

// Binds over a pipe, then (with `then_wait_for`) waits until that file
// exists and tries again on the same pipe: how a pipe whose server went
// away in between fails.
DWORD Bind(rpc::PipeOpener& pipes, const std::string& host, const char* then_wait_for = nullptr,
           std::optional<std::chrono::milliseconds> deadline = std::nullopt) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<rpc::MessagePipe> pipe;
  if (const DWORD error = pipes.Open(Utf16(host), "winreg", pipe); error != NO_ERROR) return error;
  const double opened = Milliseconds(start);
  std::size_t received = 0;
  if (const DWORD error = Exchange(*pipe, received); error != NO_ERROR) return error;
  std::fprintf(stderr, "%s: pipe opened in %.1f ms, bind answered in %.1f ms (%zu bytes)\n", host.c_str(), opened,
               Milliseconds(start) - opened, received);
  if (then_wait_for == nullptr) return NO_ERROR;
  std::cout << host << " bound" << std::endl;
  for (int i = 0; i < 600 && access(then_wait_for, F_OK) != 0; ++i) usleep(100 * 1000);
  if (deadline) pipe->SetDeadline(std::chrono::steady_clock::now() + *deadline);
  return Exchange(*pipe, received);
}

// An OpenLocalMachine request, one fragment.
std::vector<std::uint8_t> OpenLocalMachineRequest(std::uint32_t call_id) {
  return rpc::EncodeRequest(call_id, winreg::kOpenLocalMachine, winreg::EncodeOpenRoot(winreg::kMaximumAllowed),
                            rpc::kOfferedFragmentSize)
      .front();
}

int Burst(rpc::PipeOpener& pipes, const std::string& host, int pipe_count, int calls) {
  std::vector<std::unique_ptr<rpc::MessagePipe>> opened(pipe_count);
  for (auto& pipe : opened) {
    std::size_t received = 0;
    if (pipes.Open(Utf16(host), "winreg", pipe) != NO_ERROR || Exchange(*pipe, received) != NO_ERROR) {
      std::cout << host << " cannot be bound\n";
      return 1;
    }
  }
  std::atomic<int> failures{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (auto& pipe : opened) {
    threads.emplace_back([&pipe, &failures, calls] {
      std::vector<std::uint8_t> reply(rpc::kOfferedFragmentSize);
      for (int call = 0; call < calls; ++call) {
        std::size_t received = 0;
        if (pipe->Write(OpenLocalMachineRequest(call + 2)) != NO_ERROR || pipe->Read(reply, received) != NO_ERROR ||
            TypeOf(reply, received) != rpc::PduType::kResponse) {
          ++failures;
          return;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds = Milliseconds(start) / 1000;
  std::printf("%s: %d pipes x %d calls in %.3f s: %.1f calls/s, %d failed\n", host.c_str(), pipe_count, calls, seconds,
              pipe_count * calls / seconds, failures.load());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty()) {
    std::cerr << "usage: kestrova_smb_probe browse | inventory [NAME...] | bind HOST... | bind-twice HOST FILE [MS]\n";
    return 2;
  }
  const smb::SmbSettings settings = smb::SettingsFromEnvironment(std::cerr);
  // The network as the program opens it, with every discovery setting.
  const std::unique_ptr<smb::SmbLanSource> network = smb::OpenSmbNetworkFromEnvironment(std::cerr);
  smb::SmbLanSource& source = *network;
  // Pipes of their own, as the source opens them for registries.
  smb::SmbPipeOpener pipes(settings);
  if (arguments[0] == "browse") {
    Walk(source, nullptr, 0);
    return 0;
  }
  if (arguments[0] == "shares" && arguments.size() == 2) {
    lan::BrowseRecord server;
    server.DisplayType = RESOURCEDISPLAYTYPE_SERVER;
    server.RemoteName = u"\\\\" + Utf16(arguments[1]);
    Walk(source, &server, 0);
    return 0;
  }
  if (arguments[0] == "inventory") {
    std::vector<std::u16string> servers;
    CollectServers(source, nullptr, servers);
    // Named computers are listed in the order named, if the browser lists them.
    std::vector<std::u16string> listed;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const std::u16string name = Utf16(arguments[i]);
      if (std::find(servers.begin(), servers.end(), name) != servers.end()) listed.push_back(name);
    }
    for (const std::u16string& server : arguments.size() == 1 ? servers : listed) {
      ListApplications(source, server);
      std::cout << "\r\n" << std::flush;
    }
    return 0;
  }
  if (arguments[0] == "burst" && arguments.size() == 4) {
    return Burst(pipes, arguments[1], std::stoi(arguments[2]), std::stoi(arguments[3]));
  }
  if (arguments[0] == "bind-twice" && (arguments.size() == 3 || arguments.size() == 4)) {
    std::optional<std::chrono::milliseconds> deadline;
    if (arguments.size() == 4) deadline = std::chrono::milliseconds(std::stoi(arguments[3]));
    const DWORD error = Bind(pipes, arguments[1], arguments[2].c_str(), deadline);
    std::cout << arguments[1] << (error == NO_ERROR ? " ok" : " error " + std::to_string(error)) << std::endl;
    return 0;
  }
  if (arguments[0] == "bind") {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      const DWORD error = Bind(pipes, arguments[i]);
      std::cout << arguments[i] << (error == NO_ERROR ? " ok" : " error " + std::to_string(error)) << std::endl;
      std::fprintf(stderr, "%s: %.0f ms in all\n", arguments[i].c_str(), Milliseconds(start));
    }
    return 0;
  }
  std::cerr << "kestrova_smb_probe: unknown command " << arguments[0] << "\n";
  return 2;
}
