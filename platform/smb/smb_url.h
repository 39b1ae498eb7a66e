// The parts of the smb:// URLs that name servers, shares and pipes to
// libsmbclient.
#pragma once

#include <string>
#include <string_view>

namespace smb {

// `text` with every byte but the unreserved characters of a URL
// (letters, digits, - . _ ~) written as %XX, as one part of an smb:// URL.
std::string UrlEncoded(std::string_view text);

}  // namespace smb
