#include "runtime/text.h"

#include <cstring>

#include "platform/ascii_case.h"

Text TextFromCString(const char* p) {
  if (p == nullptr) return Text();
  return Text(p, std::strlen(p));
}

std::int32_t TextLength(std::string_view t) { return static_cast<std::int32_t>(t.size()); }

Text JoinTexts(std::string_view a, std::string_view b) {
  Text joined;
  joined.reserve(a.size() + b.size());
  joined.append(a);
  joined.append(b);
  return joined;
}

bool TextEquals(std::string_view a, std::string_view b) { return a == b; }

Text Slice(std::string_view t, std::int32_t start, std::int32_t count) {
  if (t.empty() || count < 0) return Text();
  const std::int64_t offset = start < 1 ? 0 : static_cast<std::int64_t>(start) - 1;
  const std::int64_t length = TextLength(t);
  if (offset >= length) return Text();
  const std::int64_t room = length - offset;
  const std::int64_t taken = count > room ? room : count;
  return Text(t.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(taken)));
}

std::int32_t FindSubstring(std::string_view pattern, std::string_view text) {
  if (pattern.empty() || text.empty()) return 0;
  const std::int64_t m = TextLength(pattern);
  const std::int64_t n = TextLength(text);
  const std::int64_t last = n - m + 1;
  if (last <= 0) return 0;
  for (std::int64_t hit = 0; hit < last; ++hit) {
    if (text[hit] != pattern[0]) continue;
    if (text.compare(static_cast<std::size_t>(hit) + 1, static_cast<std::size_t>(m) - 1, pattern.substr(1)) == 0) {
      return static_cast<std::int32_t>(hit + 1);
    }
  }
  return 0;
}

Text AsciiLower(std::string_view t) { return ascii_case::FoldedText(t); }
