#pragma once

#include <string>
#include <string_view>

// A text for a font that draws printable ASCII only (the image library's
// Hershey fonts). `text` is read as UTF-8, or as Latin-1 when it is not valid
// UTF-8 (a file saved by an older Windows program). German letters are
// written out (ä ae, ö oe, ü ue, Ä Ae, Ö Oe, Ü Ue, ß ss), other Latin letters
// lose their accents (é e, ñ n, ø o, æ ae), a few signs get their usual
// spelling (° Grad, µ u, ² 2, € EUR, typographic dashes, quotes and "…"),
// tabs and no-break spaces become spaces, soft hyphens vanish, and every
// other character (control characters included) becomes "?".
std::string asciiTransliteration(std::string_view text);
