#include "base/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(again);
  return text;
}

namespace {

// Length of the valid UTF-8 sequence at the start of `text` (1 ... 4), or 0.
std::size_t utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string printableText(std::string_view text, std::size_t maxCharacters) {
  std::string result;
  std::size_t characters = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (characters == maxCharacters) {
      result += "…";
      break;
    }
    const std::size_t length = utf8Length(text.substr(pos));
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    const bool c1Control = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0;
    if (length == 0 || lead < 0x20 || lead == 0x7F || c1Control) {
      result += '?';
      pos += length == 0 ? 1 : length;
    } else {
      result.append(text.substr(pos, length));
      pos += length;
    }
    ++characters;
  }
  return result;
}
