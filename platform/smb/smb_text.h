// Names cross between the UTF-16 of the Windows side and the UTF-8 that
// libsmbclient speaks. A malformed sequence becomes U+FFFD, so no name
// from the network can stop a conversion.
#pragma once

#include <string>
#include <string_view>

namespace smb {

std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view text);

// `text` with every byte but the unreserved characters of a URL
// (letters, digits, - . _ ~) written as %XX, as one part of an smb:// URL.
std::string UrlEncoded(std::string_view text);

}  // namespace smb
