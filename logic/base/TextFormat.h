#pragma once

#include <string>

// printf-style formatting into a string of whatever length the text needs.
__attribute__((format(printf, 1, 2))) std::string formatText(const char* format, ...);
