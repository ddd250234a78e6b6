#include "panorama/PtoLine.h"

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsLowercase(std::string_view text, std::string_view lowercase) {
  if (text.size() != lowercase.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != lowercase[i]) return false;
  }
  return true;
}

}  // namespace

bool PtoLines::next(std::string_view* line, int* number) {
  if (pos_ >= text_.size()) return false;
  std::size_t end = pos_;
  while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
  *line = text_.substr(pos_, end - pos_);
  *number = ++number_;
  pos_ = end;
  if (pos_ < text_.size() && text_[pos_] == '\r') {
    ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
  } else if (pos_ < text_.size()) {
    ++pos_;  // '\n'
  }
  return true;
}

bool splitPtoTokens(std::string_view text, std::vector<PtoToken>* tokens, std::string* problem) {
  tokens->clear();
  std::size_t pos = 0;
  while (true) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (pos >= text.size()) return true;
    const std::size_t start = pos;
    while (pos < text.size() && isLetter(text[pos])) ++pos;
    const std::size_t nameEnd = pos;
    while (pos < text.size() && !isBlank(text[pos])) {
      if (text[pos] == '"') {
        const std::size_t close = text.find('"', pos + 1);
        if (close == std::string_view::npos) {
          *problem = "Anführungszeichen nicht geschlossen";
          return false;
        }
        pos = close;
      }
      ++pos;
    }
    tokens->push_back({text.substr(start, nameEnd - start), text.substr(nameEnd, pos - nameEnd)});
  }
}

std::string_view unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

bool isNameWithNonNumber(std::string_view word, std::string_view name) {
  if (word.size() <= name.size() || word.substr(0, name.size()) != name) return false;
  const std::string_view rest = word.substr(name.size());
  return equalsLowercase(rest, "inf") || equalsLowercase(rest, "infinity") || equalsLowercase(rest, "nan");
}
