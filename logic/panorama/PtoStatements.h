#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panorama/PtoProject.h"

// The statements of a stitcher project (".pto") as written, line by line,
// before images are merged, linked and checked (PtoImages does that).

// The numeric variables of an image line, in one table so that parsing,
// linking and defaults treat them alike. Ra ... Re (the response curve) are
// checked and linked but not used.
enum PtoVar { kVarW, kVarH, kVarF, kVarV, kVarY, kVarP, kVarR, kVarA, kVarB, kVarC, kVarD, kVarE, kVarG,
              kVarT, kVarEev, kVarEr, kVarEb, kVarVa, kVarVb, kVarVc, kVarVd, kVarVx, kVarVy, kVarVm,
              kVarRa, kVarRb, kVarRc, kVarRd, kVarRe, kVarCount };

struct PtoVarInfo {
  std::string_view name;  // the token's name ("v", "Eev")
  double fallback;        // the value when the line does not give one
  // Largest plausible magnitude: beyond it a value only breaks the
  // arithmetic of whoever uses it (2^Eev, a yaw walked back into a turn).
  double limit;
};
extern const std::array<PtoVarInfo, kVarCount> kPtoVars;

// One variable of one image line: absent, a value, or "=k" (image k's value).
struct PtoSlot {
  enum class State : unsigned char { kAbsent, kValue, kLink };
  State state = State::kAbsent;
  double value = 0.0;
  int link = 0;
};

// A "#-imgfile width height "name"" line of older files.
struct PtoImgFile {
  int line = 0;
  double width = 0.0;
  double height = 0.0;
  std::string name;
};

// One "i" or "o" line as written.
struct PtoImageLine {
  int line = 0;
  std::array<PtoSlot, kVarCount> slots;
  std::optional<std::string> name;     // n
  std::optional<PtoCrop> crop;         // S or C as written (not yet checked against the size)
  std::optional<PtoImgFile> imgFile;   // the #-imgfile line just before it
};

struct PtoMaskLine {
  int line = 0;
  int image = 0;
  PtoMask mask;
};

struct PtoStatements {
  std::vector<PtoImageLine> iLines;
  std::vector<PtoImageLine> oLines;
  std::vector<bool> huginDisabled;  // one per "#-hugin" line: marked "disabled"
  std::vector<PtoMaskLine> masks;
  // The first "p" line's values (-1 when absent or unreadable).
  int panoramaProjection = -1;
  int panoramaWidth = -1;
  int panoramaHeight = -1;
  double panoramaHfov = -1.0;
};

// Limits that keep a hostile file from costing more than its size, and
// the largest photograph a project may name.
constexpr int kPtoMaxImages = 10000;
constexpr std::size_t kPtoMaxMaskPoints = 1000000;  // all masks together
constexpr int kPtoMaxSide = 65535;                   // pixels along either side
constexpr double kPtoMaxPixels = 200e6;              // pixels per photograph

// Reads the statements of project text: "i", "o", "k", "p", "#-hugin" and
// "#-imgfile" lines (others are ignored; a line starting with "*" ends the
// script). Every numeric token must be wholly a number or a link "=k" with
// k >= 0; masks need an image number, a type 0 ... 4 and at least 3 points
// within a million pixels of the picture's corner. Returns false
// with a German *reason naming the line on the first malformed statement.
bool readPtoStatements(std::string_view text, PtoStatements* statements, std::string* reason);
