#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// printf-style formatting into a string of whatever length the text needs.
__attribute__((format(printf, 1, 2))) std::string formatText(const char* format, ...);

// A text from a file (a name, a token) made safe to show in a message: valid
// UTF-8 is kept, every control character (C0, DEL, C1) and every byte that is not part of
// valid UTF-8 becomes "?", and a text longer than `maxCharacters` characters
// is cut there and ends in "…".
std::string printableText(std::string_view text, std::size_t maxCharacters = 80);
