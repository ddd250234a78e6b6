#include "base/AsciiText.h"

#include <cstdint>
#include <vector>

namespace {

// The code points of `text` as UTF-8; false (and nothing decoded) when it is
// not valid UTF-8 (overlong forms, surrogates and values beyond U+10FFFF
// included).
bool decodeUtf8(std::string_view text, std::vector<std::uint32_t>* out) {
  out->clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
      out->push_back(lead);
      ++pos;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - pos < length || byte(1) < low || byte(1) > high) {
      return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
      if (byte(i) < 0x80 || byte(i) > 0xBF) {
        return false;
      }
      code = (code << 6) | (byte(i) & 0x3Fu);
    }
    out->push_back(code);
    pos += length;
  }
  return true;
}

// The ASCII spelling of the Latin-1 letters U+00C0 ... U+00FF.
const char* const kLatin1Letters[64] = {
    "A", "A", "A", "A", "Ae", "A", "AE", "C",  // À Á Â Ã Ä Å Æ Ç
    "E", "E", "E", "E", "I",  "I", "I",  "I",  // È É Ê Ë Ì Í Î Ï
    "D", "N", "O", "O", "O",  "O", "Oe", "x",  // Ð Ñ Ò Ó Ô Õ Ö ×
    "O", "U", "U", "U", "Ue", "Y", "Th", "ss", // Ø Ù Ú Û Ü Ý Þ ß
    "a", "a", "a", "a", "ae", "a", "ae", "c",  // à á â ã ä å æ ç
    "e", "e", "e", "e", "i",  "i", "i",  "i",  // è é ê ë ì í î ï
    "d", "n", "o", "o", "o",  "o", "oe", ":",  // ð ñ ò ó ô õ ö ÷
    "o", "u", "u", "u", "ue", "y", "th", "y",  // ø ù ú û ü ý þ ÿ
};

// The ASCII spelling of code point c, or nullptr for "?".
const char* spelling(std::uint32_t c) {
  static const char* const kPrintable[95] = {
      " ", "!", "\"", "#", "$", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/",
      "0", "1", "2",  "3", "4", "5", "6", "7", "8", "9", ":", ";", "<", "=", ">", "?",
      "@", "A", "B",  "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O",
      "P", "Q", "R",  "S", "T", "U", "V", "W", "X", "Y", "Z", "[", "\\", "]", "^", "_",
      "`", "a", "b",  "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o",
      "p", "q", "r",  "s", "t", "u", "v", "w", "x", "y", "z", "{", "|", "}", "~"};
  if (c >= 0x20 && c <= 0x7E) return kPrintable[c - 0x20];
  if (c >= 0xC0 && c <= 0xFF) return kLatin1Letters[c - 0xC0];
  switch (c) {
    case 0x09: case 0xA0: case 0x2002: case 0x2003: case 0x2009: case 0x202F:
      return " ";
    case 0xAD: return "";                      // soft hyphen
    case 0xB0: return "Grad";                  // °
    case 0xB5: case 0x3BC: return "u";         // µ
    case 0xB2: return "2";
    case 0xB3: return "3";
    case 0xB1: return "+/-";
    case 0xB7: return ".";
    case 0xA7: return "S";                     // §
    case 0x152: return "OE";
    case 0x153: return "oe";
    case 0x1E9E: return "SS";                  // capital sharp s
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2212:
      return "-";
    case 0x2018: case 0x2019: case 0x201A: case 0x2039: case 0x203A:
      return "'";
    case 0x201C: case 0x201D: case 0x201E: case 0xAB: case 0xBB:
      return "\"";
    case 0x2026: return "...";
    case 0x20AC: return "EUR";
    default: return nullptr;
  }
}

}  // namespace

std::string asciiTransliteration(std::string_view text) {
  std::vector<std::uint32_t> codes;
  if (!decodeUtf8(text, &codes)) {
    codes.assign(text.begin(), text.end());
    for (std::uint32_t& c : codes) c &= 0xFFu;  // Latin-1: one byte, one character
  }
  std::string result;
  result.reserve(codes.size());
  for (const std::uint32_t c : codes) {
    const char* ascii = spelling(c);
    result += ascii != nullptr ? ascii : "?";
  }
  return result;
}
