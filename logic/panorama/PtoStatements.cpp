#include "panorama/PtoStatements.h"

#include <algorithm>
#include <cmath>

#include "base/TextFormat.h"
#include "base/TextNumbers.h"
#include "panorama/PtoLine.h"

// Sizes, projection and field of view have checks of their own; their
// limits here only keep the numbers finite in every later step.
const std::array<PtoVarInfo, kVarCount> kPtoVars = {{
    {"w", 0, 1e9},     {"h", 0, 1e9},    {"f", 0, 1e9},    {"v", 51, 1e9},    {"y", 0, 36000},
    {"p", 0, 36000},   {"r", 0, 36000},  {"a", 0, 1000},   {"b", 0, 1000},    {"c", 0, 1000},
    {"d", 0, 1e6},     {"e", 0, 1e6},    {"g", 0, 1e9},    {"t", 0, 1e9},     {"Eev", 0, 100},
    {"Er", 1, 1000},   {"Eb", 1, 1000},  {"Va", 1, 1e6},   {"Vb", 0, 1e6},    {"Vc", 0, 1e6},
    {"Vd", 0, 1e6},    {"Vx", 0, 1e6},   {"Vy", 0, 1e6},   {"Vm", 5, 1e9},    {"Ra", 0, 1e6},
    {"Rb", 0, 1e6},    {"Rc", 0, 1e6},   {"Rd", 0, 1e6},   {"Re", 0, 1e6},
}};

namespace {

// Masks may reach beyond their picture, but not absurdly far.
constexpr double kMaxMaskCoordinate = 1e6;

int findVar(std::string_view name) {
  for (int i = 0; i < kVarCount; ++i) {
    if (kPtoVars[i].name == name) return i;
  }
  return -1;
}

bool isIntegral(double value) { return value == std::floor(value) && std::fabs(value) < 2e9; }

// Whether a line starts with `word` followed by a blank or its end.
bool startsWithWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ' ||
                                                  line[word.size()] == '\t');
}

std::string_view skipBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// The next blank-separated word of *text, removed from it.
std::string_view takeWord(std::string_view* text) {
  *text = skipBlanks(*text);
  std::size_t end = 0;
  while (end < text->size() && (*text)[end] != ' ' && (*text)[end] != '\t') ++end;
  const std::string_view word = text->substr(0, end);
  text->remove_prefix(end);
  return word;
}

class StatementReader {
 public:
  explicit StatementReader(PtoStatements* out) : out_(out) {}

  bool run(std::string_view text, std::string* reason) {
    if (!readLines(text)) {
      *reason = reason_;
      return false;
    }
    return true;
  }

 private:
  bool fail(int line, const std::string& text) {
    reason_ = line > 0 ? formatText("Zeile %d: %s", line, text.c_str()) : text;
    return false;
  }

  bool readLines(std::string_view text) {
    PtoLines lines(text);
    std::string_view line;
    int number = 0;
    while (lines.next(&line, &number)) {
      line = skipBlanks(line);
      if (line.empty()) continue;
      const char kind = line.front();
      if (kind == '*') break;
      bool ok = true;
      if (kind == 'i' || kind == 'o') {
        std::vector<PtoImageLine>& list = kind == 'i' ? out_->iLines : out_->oLines;
        if (list.size() >= static_cast<std::size_t>(kPtoMaxImages)) {
          return fail(number, formatText("mehr als %d Bilder", kPtoMaxImages));
        }
        PtoImageLine image;
        image.line = number;
        ok = readImageLine(line.substr(1), number, &image);
        image.imgFile = std::move(pendingImgFile_);
        pendingImgFile_.reset();
        list.push_back(std::move(image));
      } else if (kind == 'k') {
        ok = readMaskLine(line.substr(1), number);
      } else if (kind == 'p') {
        readPanoramaLine(line.substr(1));
      } else if (startsWithWord(line, "#-hugin")) {
        readHuginLine(line.substr(7));
      } else if (startsWithWord(line, "#-imgfile")) {
        ok = readImgFileLine(line.substr(9), number);
      }
      if (!ok) return false;
    }
    if (pendingImgFile_) return fail(pendingImgFile_->line, "#-imgfile-Zeile ohne folgende Bildzeile");
    return true;
  }

  bool readImageLine(std::string_view text, int number, PtoImageLine* image) {
    std::string problem;
    if (!splitPtoTokens(text, &tokens_, &problem)) return fail(number, problem);
    for (const PtoToken& token : tokens_) {
      const int var = findVar(token.name);
      if (var >= 0) {
        if (!readSlot(token, number, &image->slots[var])) return false;
      } else if (token.name == "n") {
        image->name = std::string(unquoted(token.value));
      } else if (token.name == "S" || token.name == "C") {
        PtoCrop crop;
        if (!readCrop(token, number, &crop)) return false;
        image->crop = crop;
      } else {
        for (const PtoVarInfo& info : kPtoVars) {
          if (isNameWithNonNumber(token.name, info.name)) {
            return fail(number, formatText("Wert von %s ist keine Zahl (\"%s\")", std::string(info.name).c_str(),
                                           printableText(token.name.substr(info.name.size())).c_str()));
          }
        }
      }
    }
    return true;
  }

  bool readSlot(const PtoToken& token, int number, PtoSlot* slot) {
    const std::string name(token.name);
    if (!token.value.empty() && token.value.front() == '=') {
      int link = 0;
      if (!readWholeInt(token.value.substr(1), &link) || link < 0) {
        return fail(number, formatText("Verknüpfung %s%s nennt kein Bild", name.c_str(),
                                       printableText(token.value).c_str()));
      }
      slot->state = PtoSlot::State::kLink;
      slot->link = link;
      return true;
    }
    double value = 0.0;
    if (!readWholeNumber(token.value, &value)) {
      return fail(number, formatText("Wert von %s ist keine Zahl (\"%s\")", name.c_str(),
                                     printableText(token.value).c_str()));
    }
    slot->state = PtoSlot::State::kValue;
    slot->value = value;
    return true;
  }

  bool readCrop(const PtoToken& token, int number, PtoCrop* crop) {
    std::array<int, 4> edges{};
    std::string_view rest = token.value;
    for (int i = 0; i < 4; ++i) {
      const std::size_t comma = i < 3 ? rest.find(',') : rest.size();
      if (comma == std::string_view::npos || !readWholeInt(rest.substr(0, comma), &edges[i])) {
        return fail(number, formatText("Ausschnitt %c ist nicht \"links,rechts,oben,unten\" in ganzen Pixeln (\"%s\")",
                                       token.name.front(), printableText(token.value).c_str()));
      }
      rest.remove_prefix(std::min(rest.size(), comma + 1));
    }
    crop->present = edges != std::array<int, 4>{};  // S0,0,0,0: no crop
    crop->token = token.name.front();
    crop->left = edges[0];
    crop->right = edges[1];
    crop->top = edges[2];
    crop->bottom = edges[3];
    return true;
  }

  // "#-imgfile width height "path"": size and name of the next image line.
  bool readImgFileLine(std::string_view text, int number) {
    if (pendingImgFile_) return fail(pendingImgFile_->line, "#-imgfile-Zeile ohne folgende Bildzeile");
    PtoImgFile file;
    file.line = number;
    const std::string_view width = takeWord(&text);
    const std::string_view height = takeWord(&text);
    text = skipBlanks(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!readWholeNumber(width, &file.width) || !readWholeNumber(height, &file.height) || text.empty()) {
      return fail(number, "#-imgfile-Zeile ist nicht: Breite Höhe \"Datei\"");
    }
    file.name = std::string(unquoted(text));
    pendingImgFile_ = std::move(file);
    return true;
  }

  void readHuginLine(std::string_view text) {
    bool disabled = false;
    for (std::string_view word = takeWord(&text); !word.empty(); word = takeWord(&text)) {
      disabled = disabled || word == "disabled";
    }
    out_->huginDisabled.push_back(disabled);
  }

  // The output panorama: kept for information, never refuses the project.
  void readPanoramaLine(std::string_view text) {
    if (seenPanorama_) return;
    seenPanorama_ = true;
    std::string problem;
    if (!splitPtoTokens(text, &tokens_, &problem)) return;
    for (const PtoToken& token : tokens_) {
      double value = 0.0;
      if (!readWholeNumber(token.value, &value)) continue;
      const bool whole = isIntegral(value);
      if (token.name == "f" && whole) out_->panoramaProjection = static_cast<int>(value);
      if (token.name == "w" && whole && value > 0) out_->panoramaWidth = static_cast<int>(value);
      if (token.name == "h" && whole && value > 0) out_->panoramaHeight = static_cast<int>(value);
      if (token.name == "v" && value > 0) out_->panoramaHfov = value;
    }
  }

  // "k i<image> t<type> p"x1 y1 x2 y2 ..."".
  bool readMaskLine(std::string_view text, int number) {
    std::string problem;
    if (!splitPtoTokens(text, &tokens_, &problem)) return fail(number, problem);
    PtoMaskLine raw;
    raw.line = number;
    bool hasImage = false;
    bool hasPoints = false;
    for (const PtoToken& token : tokens_) {
      if (token.name == "i") {
        if (!readWholeInt(token.value, &raw.image) || raw.image < 0) {
          return fail(number, formatText("Maske nennt kein Bild (i%s)", printableText(token.value).c_str()));
        }
        hasImage = true;
      } else if (token.name == "t") {
        if (!readWholeInt(token.value, &raw.mask.type) || raw.mask.type < 0 || raw.mask.type > 4) {
          return fail(number, formatText("unbekannte Maskenart t%s", printableText(token.value).c_str()));
        }
      } else if (token.name == "p") {
        if (!readMaskPoints(unquoted(token.value), number, &raw.mask.points)) return false;
        hasPoints = true;
      }
    }
    if (!hasImage) return fail(number, "Maske ohne Bildnummer (i)");
    if (!hasPoints || raw.mask.points.size() < 3) {
      return fail(number, formatText("Maske mit %zu Punkten (mindestens 3 nötig)", raw.mask.points.size()));
    }
    out_->masks.push_back(std::move(raw));
    return true;
  }

  bool readMaskPoints(std::string_view text, int number, std::vector<PtoPoint>* points) {
    points->clear();
    std::size_t count = 0;
    double pending = 0.0;
    for (std::string_view word = takeWord(&text); !word.empty(); word = takeWord(&text)) {
      double value = 0.0;
      if (!readWholeNumber(word, &value)) {
        return fail(number, formatText("Maskenpunkt ist keine Zahl (\"%s\")", printableText(word).c_str()));
      }
      if (std::fabs(value) > kMaxMaskCoordinate) {
        return fail(number, formatText("Maskenpunkt %g ist unplausibel (Betrag höchstens %g Pixel)", value,
                                       kMaxMaskCoordinate));
      }
      if (++count % 2 == 0) {
        if (++maskPoints_ > kPtoMaxMaskPoints) {
          return fail(number, formatText("mehr als %zu Maskenpunkte im Projekt", kPtoMaxMaskPoints));
        }
        points->push_back({pending, value});
      } else {
        pending = value;
      }
    }
    if (count % 2 != 0) return fail(number, "Maske mit einer ungeraden Zahl von Koordinaten");
    return true;
  }

  PtoStatements* out_;
  std::string reason_;
  std::vector<PtoToken> tokens_;
  std::optional<PtoImgFile> pendingImgFile_;
  std::size_t maskPoints_ = 0;
  bool seenPanorama_ = false;
};

}  // namespace

bool readPtoStatements(std::string_view text, PtoStatements* statements, std::string* reason) {
  PtoStatements read;
  if (!StatementReader(&read).run(text, reason)) return false;
  *statements = std::move(read);
  return true;
}
