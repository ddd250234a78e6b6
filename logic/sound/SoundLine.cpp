#include "sound/SoundLine.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads one value written as d.ffff into *value; false for anything else.
bool readValue(std::string_view text, const float* weights, float* value) {
  if (text.size() < 2 || !isDigit(text[0]) || text[1] != '.') {
    return false;
  }
  for (std::size_t at = 2; at < text.size(); ++at) {
    if (!isDigit(text[at])) return false;
  }
  // The same operations in the same order as the system has always used, so
  // that well-formed files give the same bits.
  float v = static_cast<float>(text[0] - '0');
  for (std::size_t d = 0; d < 4 && 2 + d < text.size(); ++d) {
    const float digit = static_cast<float>(text[2 + d] - '0');
    const float term = digit * weights[d];
    v = term + v;
  }
  *value = v;
  return true;
}

}  // namespace

int scanSoundLine(std::string_view line, const float* weights, float* row, int cols,
                  int* badColumn, std::string_view* badText) {
  if (trimmed(line).empty()) {
    return 0;
  }
  int k = 0;
  std::size_t pos = 0;
  while (k < cols) {
    const std::size_t comma = line.find(',', pos);
    const bool last = comma == std::string_view::npos;
    const std::string_view field = line.substr(pos, last ? std::string_view::npos : comma - pos);
    const std::string_view text = trimmed(field);
    if (text.empty() && last && k > 0) {
      break;  // a separator that ends the line
    }
    float value = 0.0f;
    if (!readValue(text, weights, &value)) {
      *badColumn = k;
      *badText = field;
      return -1;
    }
    row[k++] = value;
    if (last) {
      break;
    }
    pos = comma + 1;
  }
  return k;
}
