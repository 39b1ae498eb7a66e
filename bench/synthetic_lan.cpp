#include "bench/synthetic_lan.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace bench {
namespace {

std::string Hex8(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

std::string Guid(unsigned computer, unsigned app) {
  char text[64];
  std::snprintf(text, sizeof text, "{%08X-%04X-4A1B-9C2D-%012X}", 0x10000000u + computer, app,
                computer * 7919u + app * 104729u);
  return text;
}

// A string value, its backslashes and quotes escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// A hex(2) value as the registry editor writes it: the text and its
// terminating zero, as ANSI bytes (REGEDIT4) or UTF-16LE (version 5),
// lines wrapped before 80 columns with a backslash and two blanks.
std::string ExpandString(const std::string& name, const std::string& text, ExportFormat format) {
  std::string bytes;
  for (char c : text + '\0') {
    bytes += c;
    if (format == ExportFormat::kVersion5) bytes += '\0';
  }
  std::string line = Quoted(name) + "=hex(2):";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
    line += digits;
    if (i + 1 == bytes.size()) break;
    line += ',';
    if (line.size() >= 76) {
      out += line + "\\\r\n";
      line = "  ";
    }
  }
  return out + line + "\r\n";
}

std::string Entry(unsigned computer, unsigned app, ExportFormat format) {
  const std::string guid = Guid(computer, app);
  const std::string vendor = "Vendor " + std::to_string(app % 13);
  const std::string folder = "C:\\Program Files\\" + vendor + "\\Application " + std::to_string(app);
  const std::string version = std::to_string(app % 10) + "." + std::to_string(app % 7) + "." + std::to_string(app);
  std::string entry = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + guid + "]\r\n";
  auto text = [&entry](const char* name, const std::string& value) {
    entry += Quoted(name) + "=" + Quoted(value) + "\r\n";
  };
  auto dword = [&entry](const char* name, unsigned value) { entry += Quoted(name) + "=dword:" + Hex8(value) + "\r\n"; };
  text("Comments", "Support files of application " + std::to_string(app));
  text("Contact", "");
  text("DisplayIcon", folder + "\\app.exe,0");
  text("DisplayVersion", version);
  dword("EstimatedSize", 0x1000 + app * 37);
  text("HelpLink", "https://support.vendor" + std::to_string(app % 13) + ".example/help");
  text("InstallDate", "20240" + std::to_string(1 + app % 9) + "1" + std::to_string(app % 10));
  text("InstallLocation", folder + "\\");
  text("DisplayName", "Application " + std::to_string(app) + " of computer " + std::to_string(computer));
  text("InstallSource", "C:\\ProgramData\\Package Cache\\" + guid + "v" + version + "\\");
  dword("Language", 0x409);
  entry += ExpandString("ModifyPath", "MsiExec.exe /I" + guid, format);
  text("Publisher", vendor);
  entry += ExpandString("UninstallString", "MsiExec.exe /X" + guid, format);
  dword("VersionMajor", app % 10);
  return entry + "\r\n";
}

void WriteUtf16(std::ofstream& out, const std::string& text) {
  std::string wide;
  wide.reserve(text.size() * 2);
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  out << wide;
}

}  // namespace

std::uintmax_t WriteSyntheticLan(const std::filesystem::path& directory, ExportFormat format, int computers,
                                 int applications) {
  std::uintmax_t bytes = 0;
  for (int computer = 0; computer < computers; ++computer) {
    const auto file = directory / ("PC" + std::to_string(100000 + computer) + ".reg");
    std::ofstream out(file, std::ios::binary);
    std::string text =
        format == ExportFormat::kRegedit4 ? "REGEDIT4\r\n\r\n" : "Windows Registry Editor Version 5.00\r\n\r\n";
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n\r\n";
    for (int app = 0; app < applications; ++app) {
      text += Entry(static_cast<unsigned>(computer), static_cast<unsigned>(app), format);
    }
    if (format == ExportFormat::kRegedit4) {
      out << text;
    } else {
      out << "\xFF\xFE";
      WriteUtf16(out, text);
    }
    out.close();
    bytes += std::filesystem::file_size(file);
  }
  return bytes;
}

}  // namespace bench
