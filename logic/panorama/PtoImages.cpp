#include "panorama/PtoImages.h"

#include <algorithm>
#include <cmath>

#include "base/TextFormat.h"

namespace {

using Values = std::array<double, kVarCount>;

// Longest photograph name taken (the longest path the system opens).
constexpr std::size_t kMaxFileName = 4096;

// Variables linked as a whole: a link on one member links them all.
constexpr std::array<std::array<PtoVar, 3>, 2> kGroups = {{{kVarA, kVarB, kVarC}, {kVarD, kVarE, kVarE}}};

constexpr std::array<int, 8> kProjections = {kPtoRectilinear,         kPtoCylindrical,         kPtoCircularFisheye,
                                             kPtoFullFrameFisheye,    kPtoEquirectangular,     kPtoOrthographicFisheye,
                                             kPtoStereographicFisheye, kPtoEquisolidFisheye};

bool isWhole(double value) { return value == std::floor(value) && std::fabs(value) < 2e9; }

bool hasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string varName(int var) { return std::string(kPtoVars[var].name); }

class Assembler {
 public:
  explicit Assembler(const PtoStatements& statements) : statements_(statements) {}

  bool run(std::vector<PtoImage>* images, std::string* reason) {
    std::vector<PtoImageLine> lines;
    if (!merge(&lines)) return failed(reason);
    const bool useHugin = !statements_.iLines.empty() && statements_.huginDisabled.size() == statements_.iLines.size();
    std::vector<Values> values(lines.size());
    std::vector<PtoImage> made(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int index = static_cast<int>(i);
      if (!resolve(&lines[i], index, values, &values[i]) || !check(lines[i], index, values[i], &made[i])) {
        return failed(reason);
      }
      made[i].disabled = useHugin && statements_.huginDisabled[i];
    }
    for (const PtoMaskLine& mask : statements_.masks) {
      if (mask.image >= static_cast<int>(made.size())) {
        fail(mask.line, formatText("Maske für Bild %d, das es im Projekt nicht gibt", mask.image));
        return failed(reason);
      }
      made[mask.image].masks.push_back(mask.mask);
    }
    *images = std::move(made);
    return true;
  }

 private:
  bool fail(int line, const std::string& text) {
    reason_ = line > 0 ? formatText("Zeile %d: %s", line, text.c_str()) : text;
    return false;
  }
  bool failed(std::string* reason) const {
    *reason = reason_;
    return false;
  }

  // The image lines with "o" lines and "#-imgfile" lines applied.
  bool merge(std::vector<PtoImageLine>* lines) {
    const std::vector<PtoImageLine>& iLines = statements_.iLines;
    const std::vector<PtoImageLine>& oLines = statements_.oLines;
    *lines = iLines.empty() ? oLines : iLines;
    if (!iLines.empty() && !oLines.empty()) {
      if (oLines.size() != iLines.size()) {
        return fail(oLines.front().line,
                    formatText("%zu o-Zeilen passen nicht zu %zu i-Zeilen", oLines.size(), iLines.size()));
      }
      for (std::size_t i = 0; i < oLines.size(); ++i) {
        PtoImageLine& target = (*lines)[i];
        const PtoImageLine& over = oLines[i];
        for (int var = 0; var < kVarCount; ++var) {
          if (over.slots[var].state != PtoSlot::State::kAbsent) target.slots[var] = over.slots[var];
        }
        if (over.name) target.name = over.name;
        if (over.crop) target.crop = over.crop;
        if (over.imgFile) target.imgFile = over.imgFile;
      }
    }
    if (lines->empty()) return fail(0, "Das Projekt enthält keine Bilder (i-Zeilen)");
    for (PtoImageLine& line : *lines) {
      if (!line.imgFile) continue;
      line.slots[kVarW] = {PtoSlot::State::kValue, line.imgFile->width, 0};
      line.slots[kVarH] = {PtoSlot::State::kValue, line.imgFile->height, 0};
      line.name = line.imgFile->name;
    }
    return true;
  }

  // The values of image `index`: its own, its links' (earlier images, so
  // already resolved in `all`) or the defaults.
  bool resolve(PtoImageLine* line, int index, const std::vector<Values>& all, Values* values) {
    for (const auto& group : kGroups) {
      const PtoSlot* linked = nullptr;
      PtoVar linkedVar = group[0];
      for (PtoVar var : group) {
        const PtoSlot& slot = line->slots[var];
        if (slot.state != PtoSlot::State::kLink) continue;
        if (linked != nullptr && linked->link != slot.link) {
          return fail(line->line, formatText("Bild %d: %s ist mit Bild %d verknüpft, %s mit Bild %d", index,
                                             varName(linkedVar).c_str(), linked->link, varName(var).c_str(),
                                             slot.link));
        }
        linked = &slot;
        linkedVar = var;
      }
      if (linked == nullptr) continue;
      const PtoSlot link = *linked;
      for (PtoVar var : group) line->slots[var] = link;
    }
    for (int var = 0; var < kVarCount; ++var) {
      const PtoSlot& slot = line->slots[var];
      switch (slot.state) {
        case PtoSlot::State::kAbsent:
          if (var == kVarW) return fail(line->line, formatText("Bild %d ohne Breite (w)", index));
          if (var == kVarH) return fail(line->line, formatText("Bild %d ohne Höhe (h)", index));
          (*values)[var] = kPtoVars[var].fallback;
          break;
        case PtoSlot::State::kValue:
          (*values)[var] = slot.value;
          break;
        case PtoSlot::State::kLink:
          if (slot.link >= index) {
            return fail(line->line, formatText("Bild %d: Verknüpfung %s=%d verweist auf kein früheres Bild", index,
                                               varName(var).c_str(), slot.link));
          }
          (*values)[var] = all[slot.link][var];
          break;
      }
    }
    if (!line->name || line->name->empty()) {
      return fail(line->line, formatText("Bild %d ohne Dateinamen (n)", index));
    }
    return true;
  }

  bool check(const PtoImageLine& line, int index, const Values& v, PtoImage* image) {
    const int at = line.line;
    const double width = v[kVarW];
    const double height = v[kVarH];
    if (!isWhole(width) || !isWhole(height) || width < 1 || height < 1 || width > kPtoMaxSide ||
        height > kPtoMaxSide || width * height > kPtoMaxPixels) {
      return fail(at, formatText("Bild %d: Größe %g × %g Pixel ist unmöglich (1 bis %d Pixel je Seite, höchstens "
                                 "%.0f Megapixel)",
                                 index, width, height, kPtoMaxSide, kPtoMaxPixels / 1e6));
    }
    if (std::find(kProjections.begin(), kProjections.end(), v[kVarF]) == kProjections.end()) {
      return fail(at, formatText("Bild %d: unbekannte Projektion f%g", index, v[kVarF]));
    }
    const int projection = static_cast<int>(v[kVarF]);
    const double hfov = v[kVarV];
    if (!(hfov > 0.0 && hfov <= 360.0)) {
      return fail(at, formatText("Bild %d: Bildwinkel v%g ist unmöglich (über 0 bis 360 Grad)", index, hfov));
    }
    if (projection == kPtoRectilinear && hfov >= 180.0) {
      return fail(at, formatText("Bild %d: Bildwinkel v%g ist für ein geradliniges Bild (f0) zu groß (unter 180 Grad)",
                                 index, hfov));
    }
    if (projection == kPtoOrthographicFisheye && hfov > 180.0) {
      return fail(at, formatText("Bild %d: Bildwinkel v%g ist für ein orthografisches Fischauge (f8) zu groß "
                                 "(höchstens 180 Grad)",
                                 index, hfov));
    }
    if (projection == kPtoStereographicFisheye && hfov >= 360.0) {
      return fail(at, formatText("Bild %d: Bildwinkel v%g ist für ein stereografisches Fischauge (f10) zu groß "
                                 "(unter 360 Grad)",
                                 index, hfov));
    }
    if (v[kVarG] != 0.0 || v[kVarT] != 0.0) {
      return fail(at, formatText("Bild %d: Scherung (g%g, t%g) wird nicht unterstützt", index, v[kVarG], v[kVarT]));
    }
    if (!(v[kVarEr] > 0.0) || !(v[kVarEb] > 0.0)) {
      return fail(at, formatText("Bild %d: Weißabgleich Er%g, Eb%g muss größer als 0 sein", index, v[kVarEr],
                                 v[kVarEb]));
    }
    if (!isWhole(v[kVarVm])) {
      return fail(at, formatText("Bild %d: Vignettierungsart Vm%g ist keine ganze Zahl", index, v[kVarVm]));
    }
    for (int var = 0; var < kVarCount; ++var) {
      if (std::fabs(v[var]) > kPtoVars[var].limit) {
        return fail(at, formatText("Bild %d: Wert %s%g ist unplausibel (Betrag höchstens %g)", index,
                                   varName(var).c_str(), v[var], kPtoVars[var].limit));
      }
    }
    if (line.name->size() > kMaxFileName) {
      return fail(at, formatText("Bild %d: Dateiname länger als %zu Zeichen", index, kMaxFileName));
    }
    if (hasControlCharacter(*line.name)) {
      return fail(at, formatText("Bild %d: Dateiname \"%s\" enthält Steuerzeichen", index,
                                 printableText(*line.name).c_str()));
    }
    PtoImage& out = *image;
    out.index = index;
    out.line = at;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.projection = projection;
    out.hfov = hfov;
    out.yaw = v[kVarY];
    out.pitch = v[kVarP];
    out.roll = v[kVarR];
    out.a = v[kVarA];
    out.b = v[kVarB];
    out.c = v[kVarC];
    out.d = v[kVarD];
    out.e = v[kVarE];
    out.eev = v[kVarEev];
    out.er = v[kVarEr];
    out.eb = v[kVarEb];
    out.va = v[kVarVa];
    out.vb = v[kVarVb];
    out.vc = v[kVarVc];
    out.vd = v[kVarVd];
    out.vx = v[kVarVx];
    out.vy = v[kVarVy];
    out.vm = static_cast<int>(v[kVarVm]);
    out.fileName = *line.name;
    return !line.crop || checkCrop(*line.crop, index, at, &out);
  }

  bool checkCrop(const PtoCrop& crop, int index, int at, PtoImage* image) {
    if (!crop.present) return true;  // S0,0,0,0
    const std::string written =
        formatText("%c%d,%d,%d,%d", crop.token, crop.left, crop.right, crop.top, crop.bottom);
    if (crop.right <= crop.left || crop.bottom <= crop.top) {
      return fail(at, formatText("Bild %d: leerer Ausschnitt %s", index, written.c_str()));
    }
    if (crop.right <= 0 || crop.left >= image->width || crop.bottom <= 0 || crop.top >= image->height) {
      return fail(at, formatText("Bild %d: Ausschnitt %s liegt außerhalb des Bildes (%d × %d Pixel)", index,
                                 written.c_str(), image->width, image->height));
    }
    image->crop = crop;
    // The circle of a circular fisheye is the one inscribed in the rectangle
    // as written, even where that reaches beyond the picture.
    if (image->projection != kPtoCircularFisheye && image->projection != kPtoOrthographicFisheye) {
      image->crop.left = std::max(crop.left, 0);
      image->crop.top = std::max(crop.top, 0);
      image->crop.right = std::min(crop.right, image->width);
      image->crop.bottom = std::min(crop.bottom, image->height);
    }
    return true;
  }

  const PtoStatements& statements_;
  std::string reason_;
};

}  // namespace

bool assemblePtoImages(const PtoStatements& statements, std::vector<PtoImage>* images, std::string* reason) {
  return Assembler(statements).run(images, reason);
}
