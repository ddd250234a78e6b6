#include <gtest/gtest.h>

#include <string>

#include "base/AsciiText.h"

TEST(AsciiText, GermanAndOtherLettersAreWrittenOut) {
  struct Case {
    const char* text;
    const char* ascii;
  };
  const Case cases[] = {
      {"Pegel 3", "Pegel 3"},
      {"Höhe über Straße", "Hoehe ueber Strasse"},
      {"ÄÖÜäöüß", "AeOeUeaeoeuess"},
      {"Café Ñandú, Øre, Æble", "Cafe Nandu, Ore, AEble"},
      {"H\xf6he \xfc" "ber", "Hoehe ueber"},  // Latin-1, not UTF-8
      {"90° ±2 dB, 20 µPa, m²", "90Grad +/-2 dB, 20 uPa, m2"},
      {"„Quelle“ – links…", "\"Quelle\" - links..."},
      {"10\xc2\xa0" "kHz\xc2\xad", "10 kHz"},  // no-break space, soft hyphen
      {"日本", "??"},
      {"a\tb\x01" "c\x7f", "a b?c?"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(asciiTransliteration(c.text), c.ascii) << c.text;
  }
}

TEST(AsciiText, ResultIsPrintableAsciiWhateverTheBytes) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const std::string& text : {all, std::string("\xe2\x82"), std::string("\xed\xa0\x80")}) {
    for (const char c : asciiTransliteration(text)) {
      EXPECT_GE(c, 0x20);
      EXPECT_LE(c, 0x7e);
    }
  }
}
