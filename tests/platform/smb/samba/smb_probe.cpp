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
#include <string>
#include <thread>
#include <vector>

#include "platform/smb/smb_lan_source.h"
#include "platform/smb/smb_text.h"

namespace {

std::string Text(const std::optional<std::u16string>& text) {
  return text ? "\"" + smb::Utf8FromUtf16(*text) + "\"" : "null";
}

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

constexpr char16_t kUninstall[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The display names of one computer, printed as they are found.
void ListApplications(smb::SmbLanSource& source, const std::u16string& computer) {
  std::cout << "COMPUTER: " << smb::Utf8FromUtf16(computer) << "\r\n" << std::flush;
  std::unique_ptr<lan::RemoteRegistry> registry;
  if (source.ConnectRegistry(computer, HKEY_LOCAL_MACHINE, registry) != NO_ERROR) return;
  lan::RemoteRegistry::KeyId uninstall = 0;
  if (registry->OpenKey(lan::RemoteRegistry::kRootKey, kUninstall, KEY_ALL_ACCESS, uninstall) != NO_ERROR) return;
  std::vector<std::u16string> names;
  for (DWORD index = 0;; ++index) {
    std::u16string name;
    FILETIME written{};
    if (registry->EnumKey(uninstall, index, name, written) != NO_ERROR) break;
    names.push_back(std::move(name));
  }
  registry->CloseKey(uninstall);
  for (const std::u16string& name : names) {
    lan::RemoteRegistry::KeyId key = 0;
    if (registry->OpenKey(lan::RemoteRegistry::kRootKey, std::u16string(kUninstall) + u"\\" + name, KEY_ALL_ACCESS,
                          key) != NO_ERROR) {
      continue;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::string data;
    if (registry->QueryValue(key, u"DisplayName", true, type, size, data) == NO_ERROR &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      std::u16string text;
      for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto unit =
            static_cast<char16_t>(static_cast<unsigned char>(data[i]) | (static_cast<unsigned char>(data[i + 1]) << 8));
        if (unit == 0) break;
        text += unit;
      }
      if (!text.empty()) std::cout << " -> " << smb::Utf8FromUtf16(text) << "\r\n" << std::flush;
    }
    registry->CloseKey(key);
  }
}

// A DCE/RPC bind of the remote registry interface (winreg 1.0) with the
// NDR transfer syntax, fragments of up to 5840 bytes either way.
std::vector<std::uint8_t> BindRequest() {
  return {5,    0,    11,   3,    0x10, 0,    0,    0,    72,   0,    0,    0,    1,    0,    0,    0,    0xD0, 0x16,
          0xD0, 0x16, 0,    0,    0,    0,    1,    0,    0,    0,    0,    0,    1,    0,    0x01, 0xD0, 0x8C, 0x33,
          0x44, 0x22, 0xF1, 0x31, 0xAA, 0xAA, 0x90, 0x00, 0x38, 0x00, 0x10, 0x03, 1,    0,    0,    0,    0x04, 0x5D,
          0x88, 0x8A, 0xEB, 0x1C, 0xC9, 0x11, 0x9F, 0xE8, 0x08, 0x00, 0x2B, 0x10, 0x48, 0x60, 2,    0,    0,    0};
}

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

DWORD Exchange(smb::MessagePipe& pipe, std::size_t& received) {
  const std::vector<std::uint8_t> request = BindRequest();
  if (const DWORD error = pipe.Write(request); error != NO_ERROR) return error;
  std::vector<std::uint8_t> reply(5840);
  if (const DWORD error = pipe.Read(reply, received); error != NO_ERROR) return error;
  // 12: bind_ack; 13: bind_nak, which a second bind on one pipe may get.
  return received >= 16 && (reply[2] == 12 || reply[2] == 13) ? NO_ERROR : ERROR_INVALID_PARAMETER;
}

// Binds over a pipe, then (with `then_wait_for`) waits until that file
// exists and tries again on the same pipe: how a pipe whose server went
// away in between fails.
DWORD Bind(smb::PipeOpener& pipes, const std::string& host, const char* then_wait_for = nullptr,
           std::optional<std::chrono::milliseconds> deadline = std::nullopt) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<smb::MessagePipe> pipe;
  if (const DWORD error = pipes.Open(smb::Utf16FromUtf8(host), "winreg", pipe); error != NO_ERROR) return error;
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

// An OpenHKLM request (opnum 2): a null server name, MAXIMUM_ALLOWED.
std::vector<std::uint8_t> OpenHklmRequest(std::uint32_t call_id) {
  std::vector<std::uint8_t> request = {5, 0, 0, 3, 0x10, 0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0,
                                       8, 0, 0, 0, 0,    0, 2, 0, 0,  0, 0, 0, 0, 0, 0, 2};
  for (int i = 0; i < 4; ++i) request[12 + i] = static_cast<std::uint8_t>(call_id >> (8 * i));
  return request;
}

int Burst(smb::PipeOpener& pipes, const std::string& host, int pipe_count, int calls) {
  std::vector<std::unique_ptr<smb::MessagePipe>> opened(pipe_count);
  for (auto& pipe : opened) {
    std::size_t received = 0;
    if (pipes.Open(smb::Utf16FromUtf8(host), "winreg", pipe) != NO_ERROR || Exchange(*pipe, received) != NO_ERROR) {
      std::cout << host << " cannot be bound\n";
      return 1;
    }
  }
  std::atomic<int> failures{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (auto& pipe : opened) {
    threads.emplace_back([&pipe, &failures, calls] {
      std::vector<std::uint8_t> reply(5840);
      for (int call = 0; call < calls; ++call) {
        std::size_t received = 0;
        if (pipe->Write(OpenHklmRequest(call + 2)) != NO_ERROR || pipe->Read(reply, received) != NO_ERROR ||
            reply[2] != 2) {
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
  smb::SmbLanSource source(smb::SettingsFromEnvironment(std::cerr));
  if (arguments[0] == "browse") {
    Walk(source, nullptr, 0);
    return 0;
  }
  if (arguments[0] == "shares" && arguments.size() == 2) {
    lan::BrowseRecord server;
    server.DisplayType = RESOURCEDISPLAYTYPE_SERVER;
    server.RemoteName = u"\\\\" + smb::Utf16FromUtf8(arguments[1]);
    Walk(source, &server, 0);
    return 0;
  }
  if (arguments[0] == "inventory") {
    std::vector<std::u16string> servers;
    CollectServers(source, nullptr, servers);
    // Named computers are listed in the order named, if the browser lists them.
    std::vector<std::u16string> listed;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const std::u16string name = smb::Utf16FromUtf8(arguments[i]);
      if (std::find(servers.begin(), servers.end(), name) != servers.end()) listed.push_back(name);
    }
    for (const std::u16string& server : arguments.size() == 1 ? servers : listed) {
      ListApplications(source, server);
      std::cout << "\r\n" << std::flush;
    }
    return 0;
  }
  if (arguments[0] == "burst" && arguments.size() == 4) {
    return Burst(source.Pipes(), arguments[1], std::stoi(arguments[2]), std::stoi(arguments[3]));
  }
  if (arguments[0] == "bind-twice" && (arguments.size() == 3 || arguments.size() == 4)) {
    std::optional<std::chrono::milliseconds> deadline;
    if (arguments.size() == 4) deadline = std::chrono::milliseconds(std::stoi(arguments[3]));
    const DWORD error = Bind(source.Pipes(), arguments[1], arguments[2].c_str(), deadline);
    std::cout << arguments[1] << (error == NO_ERROR ? " ok" : " error " + std::to_string(error)) << std::endl;
    return 0;
  }
  if (arguments[0] == "bind") {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      const DWORD error = Bind(source.Pipes(), arguments[i]);
      std::cout << arguments[i] << (error == NO_ERROR ? " ok" : " error " + std::to_string(error)) << std::endl;
      std::fprintf(stderr, "%s: %.0f ms in all\n", arguments[i].c_str(), Milliseconds(start));
    }
    return 0;
  }
  std::cerr << "kestrova_smb_probe: unknown command " << arguments[0] << "\n";
  return 2;
}
