#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lexical level of a stitcher project (".pto"): lines and tokens.

// Walks a text line by line; LF, CR LF and a lone CR all end a line.
class PtoLines {
 public:
  explicit PtoLines(std::string_view text) : text_(text) {}
  // The next line without its end into *line and its number (from 1) into
  // *number; false after the last line.
  bool next(std::string_view* line, int* number);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

// One token: the letters it starts with (its name, possibly empty) and the
// rest (its value, as written: "=3" for a link, "\"a b.jpg\"" with quotes).
struct PtoToken {
  std::string_view name;
  std::string_view value;
};

// Splits `text` into tokens at runs of spaces and tabs that are not inside
// double quotes. Returns false, with a German *problem, when a quote is not
// closed; *tokens then holds the tokens before it.
bool splitPtoTokens(std::string_view text, std::vector<PtoToken>* tokens, std::string* problem);

// The text between the double quotes of a value written "...", or the value
// itself when it does not start with a quote.
std::string_view unquoted(std::string_view value);

// Whether `word` consists of `name` followed by "inf", "infinity" or "nan"
// in any case: a value that is no number glued to a known name ("vnan").
bool isNameWithNonNumber(std::string_view word, std::string_view name);
