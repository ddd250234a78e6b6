#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/TextFormat.h"

TEST(PrintableText, KeepsUtf8AndReplacesWhatCannotBeShown) {
  struct Case {
    std::string in;
    std::size_t max;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"IMG_1.jpg", 80, "IMG_1.jpg"},
      {"Größe.jpg", 80, "Größe.jpg"},
      {"a\tb\nc", 80, "a?b?c"},
      {std::string("a\0b", 3), 80, "a?b"},
      {"\xff\xfe.jpg", 80, "??.jpg"},        // not UTF-8 at all
      {"x\xc3", 80, "x?"},                    // cut inside a sequence
      {"\xc0\xaf", 80, "??"},                 // overlong "/"
      {"\xed\xa0\x80", 80, "???"},            // a surrogate
      {"\xc2\x85", 80, "?"},                  // C1 control character
      {"\xf0\x9f\x99\x82!", 80, "\xf0\x9f\x99\x82!"},
      {"abcdef", 3, "abc…"},
      {"äöüß", 2, "äö…"},
      {"abc", 3, "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(printableText(c.in, c.max), c.out) << c.in;
  }
}
