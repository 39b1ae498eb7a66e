// Text from outside (a name from a file, a description or a server) as a
// message may quote it: a terminal obeys the control characters that such
// text can hold (ESC ] sets the window title, ESC [ 2 J clears the
// screen), so a message shows them instead of sending them.
#pragma once

#include <string>
#include <string_view>

namespace lan {

// `utf8` with every control character (C0 and DEL, line ends and tabs
// among them; C1, U+0080 to U+009F) and every byte that is no part of
// valid UTF-8 written as \xHH, one for each of its bytes. Everything else,
// backslashes included, is kept as it is.
std::string VisibleText(std::string_view utf8);

// VisibleText in double quotes, as messages quote a name.
std::string QuotedVisibleText(std::string_view utf8);

}  // namespace lan
