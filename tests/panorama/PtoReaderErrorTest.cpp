#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "JpegTestSupport.h"
#include "PtoTestSupport.h"
#include "panorama/PtoStatements.h"

using ptotest::Photo;

namespace {

struct BadProject {
  std::string text;
  std::string reason;  // a fragment of the German reason
};

const std::string kA = " n\"a.jpg\"\n";  // the photograph every case has

std::vector<BadProject> badProjects() {
  return {
      // Required values.
      {"i h30" + kA, "Zeile 1: Bild 0 ohne Breite (w)"},
      {"# comment\ni w40" + kA, "Zeile 2: Bild 0 ohne Höhe (h)"},
      {"i w40 h30\n", "Zeile 1: Bild 0 ohne Dateinamen (n)"},
      {"i w40 h30 n\"\"\n", "Bild 0 ohne Dateinamen (n)"},
      {"", "Das Projekt enthält keine Bilder"},
      {"p f2 w100 h50\n* i w40 h30" + kA, "Das Projekt enthält keine Bilder"},
      {"#-hugin disabled\ni w40 h30" + kA, "keine eingeschalteten Bilder (1 ausgeschaltet)"},
      // Values that are not wholly numbers.
      {"i w40 h30 v5O" + kA, "Zeile 1: Wert von v ist keine Zahl (\"5O\")"},
      {"i w40 h30 v1,5" + kA, "Wert von v ist keine Zahl (\"1,5\")"},
      {"i w40 h30 vnan" + kA, "Wert von v ist keine Zahl (\"nan\")"},
      {"i w40 h30 yInfinity" + kA, "Wert von y ist keine Zahl (\"Infinity\")"},
      {"i w40 h30 Eev" + kA, "Wert von Eev ist keine Zahl (\"\")"},
      {"i w40 h30 r1e999" + kA, "Wert von r ist keine Zahl (\"1e999\")"},
      {"i w40 h30 Ra0x1" + kA, "Wert von Ra ist keine Zahl"},
      // Absurd values.
      {"i w0 h30" + kA, "Bild 0: Größe 0 × 30 Pixel ist unmöglich"},
      {"i w-40 h30" + kA, "Größe -40 × 30 Pixel ist unmöglich"},
      {"i w40.5 h30" + kA, "Größe 40.5 × 30 Pixel ist unmöglich"},
      {"i w70000 h30" + kA, "Größe 70000 × 30 Pixel ist unmöglich"},
      {"i w20000 h20000" + kA, "höchstens 200 Megapixel"},
      {"i w40 h30 f7" + kA, "Zeile 1: Bild 0: unbekannte Projektion f7"},
      {"i w40 h30 f-1" + kA, "unbekannte Projektion f-1"},
      {"i w40 h30 f2.5" + kA, "unbekannte Projektion f2.5"},
      {"i w40 h30 v0" + kA, "Bildwinkel v0 ist unmöglich"},
      {"i w40 h30 f2 v360.5" + kA, "Bildwinkel v360.5 ist unmöglich"},
      {"i w40 h30 f0 v180" + kA, "für ein geradliniges Bild (f0) zu groß"},
      {"i w40 h30 f8 v190" + kA, "orthografisches Fischauge (f8) zu groß"},
      {"i w40 h30 f10 v360" + kA, "stereografisches Fischauge (f10) zu groß"},
      {"i w40 h30 g0.1" + kA, "Scherung (g0.1, t0) wird nicht unterstützt"},
      {"i w40 h30 t-2" + kA, "Scherung (g0, t-2) wird nicht unterstützt"},
      {"i w40 h30 Er0" + kA, "Weißabgleich Er0, Eb1 muss größer als 0 sein"},
      {"i w40 h30 Eb-1" + kA, "Weißabgleich Er1, Eb-1"},
      {"i w40 h30 Vm1.5" + kA, "Vignettierungsart Vm1.5"},
      {"i w40 h30 y1e308" + kA, "Bild 0: Wert y1e+308 ist unplausibel (Betrag höchstens 36000)"},
      {"i w40 h30 Eev-101" + kA, "Wert Eev-101 ist unplausibel (Betrag höchstens 100)"},
      {"i w40 h30 a1e300" + kA, "Wert a1e+300 ist unplausibel"},
      {"i w40 h30 n\"" + std::string(4097, 'n') + "\"\n", "Bild 0: Dateiname länger als 4096 Zeichen"},
      // Links.
      {"i w40 h30 v=0" + kA, "Zeile 1: Bild 0: Verknüpfung v=0 verweist auf kein früheres Bild"},
      {"i w40 h30 v=1" + kA + "i w40 h30" + kA, "Bild 0: Verknüpfung v=1 verweist auf kein früheres Bild"},
      {"i w40 h30" + kA + "i w40 h30 y=7" + kA, "Zeile 2: Bild 1: Verknüpfung y=7 verweist auf kein früheres Bild"},
      {"i w40 h30" + kA + "i w40 h30" + kA + "i w40 h30 a=0 c=1" + kA,
       "Zeile 3: Bild 2: a ist mit Bild 0 verknüpft, c mit Bild 1"},
      {"i w40 h30 v=-1" + kA, "Verknüpfung v=-1 nennt kein Bild"},
      {"i w40 h30 v=x" + kA, "Verknüpfung v=x nennt kein Bild"},
      {"i w40 h30 v=" + kA, "Verknüpfung v= nennt kein Bild"},
      // Masks.
      {"i w40 h30" + kA + "k i0 t0 p\"1 1 2 2\"\n", "Zeile 2: Maske mit 2 Punkten (mindestens 3 nötig)"},
      {"i w40 h30" + kA + "k i0 t0\n", "Maske mit 0 Punkten"},
      {"i w40 h30" + kA + "k i0 t0 p\"1 1 2 2 3\"\n", "Maske mit einer ungeraden Zahl von Koordinaten"},
      {"i w40 h30" + kA + "k i0 t0 p\"1 1 2 2 3 x\"\n", "Maskenpunkt ist keine Zahl (\"x\")"},
      {"i w40 h30" + kA + "k i3 t0 p\"1 1 2 2 3 3\"\n", "Zeile 2: Maske für Bild 3, das es im Projekt nicht gibt"},
      {"i w40 h30" + kA + "k t0 p\"1 1 2 2 3 3\"\n", "Maske ohne Bildnummer (i)"},
      {"i w40 h30" + kA + "k i-1 t0 p\"1 1 2 2 3 3\"\n", "Maske nennt kein Bild (i-1)"},
      {"i w40 h30" + kA + "k i0 t0 p\"1 1 2 2 3 -2e6\"\n", "Maskenpunkt -2e+06 ist unplausibel"},
      {"i w40 h30" + kA + "k i0 t9 p\"1 1 2 2 3 3\"\n", "unbekannte Maskenart t9"},
      // Crops.
      {"i w40 h30 S10,10,0,30" + kA, "Bild 0: leerer Ausschnitt S10,10,0,30"},
      {"i w40 h30 C0,40,30,20" + kA, "leerer Ausschnitt C0,40,30,20"},
      {"i w40 h30 S50,60,0,10" + kA, "Ausschnitt S50,60,0,10 liegt außerhalb des Bildes (40 × 30 Pixel)"},
      {"i w40 h30 f2 v180 S-20,-1,0,10" + kA, "liegt außerhalb des Bildes"},
      {"i w40 h30 S1,2,3" + kA, "Ausschnitt S ist nicht \"links,rechts,oben,unten\" in ganzen Pixeln (\"1,2,3\")"},
      {"i w40 h30 S1,2,3,4,5" + kA, "Ausschnitt S ist nicht"},
      {"i w40 h30 S1.5,2,3,4" + kA, "Ausschnitt S ist nicht"},
      // Structure.
      {"i w40 h30 n\"a.jpg\n", "Zeile 1: Anführungszeichen nicht geschlossen"},
      {"i w40 h30" + kA + "o y1\no y2\n", "Zeile 2: 2 o-Zeilen passen nicht zu 1 i-Zeilen"},
      {"i w40 h30" + kA + "#-imgfile 40 30 \"a.jpg\"\n", "Zeile 2: #-imgfile-Zeile ohne folgende Bildzeile"},
      {"#-imgfile 40 30 \"a.jpg\"\n#-imgfile 40 30 \"a.jpg\"\ni" + kA, "Zeile 1: #-imgfile-Zeile ohne folgende"},
      {"#-imgfile vierzig 30 \"a.jpg\"\ni" + kA, "#-imgfile-Zeile ist nicht: Breite Höhe \"Datei\""},
      {"#-imgfile 40 30\ni" + kA, "#-imgfile-Zeile ist nicht"},
      {"i w40 h30 n\"a\x01.jpg\"\n", "Dateiname \"a?.jpg\" enthält Steuerzeichen"},
      {"i w40 h30 n\"a.jpg" + std::string("\0", 1) + "x\"\n", "Dateiname \"a.jpg?x\" enthält Steuerzeichen"},
      // The photographs.
      {"i w40 h30 n\"missing.jpg\"\n", "Foto nicht gefunden: missing.jpg (Bild 0, Zeile 1)"},
      {"i w40 h30 n\"C:\\Users\\x\\IMG_1.jpg\"\n", "Foto nicht gefunden: C:\\Users\\x\\IMG_1.jpg"},
      {"i w40 h30 n\"folder.jpg\"\n", "Foto nicht gefunden: folder.jpg"},
      {"i w40 h30 n\"pipe.jpg\"\n", "Foto nicht gefunden: pipe.jpg"},
      {"i w40 h30 n\"loop.jpg\"\n", "Foto nicht gefunden: loop.jpg"},
      {"i w30 h40" + kA, "Foto a.jpg hat 40 × 30 Pixel, das Projekt nennt in Zeile 1 aber 30 × 40"},
      {"i w40 h30 n\"cut.jpg\"\n", "Foto beschädigt: cut.jpg"},
      {"i w40 h30 n\"empty.png\"\n", "Foto ist leer: empty.png (Bild 0, Zeile 1)"},
  };
}

}  // namespace

TEST(PtoReader, RefusesMalformedProjectsWithTheReason) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("folder.jpg"));
  ASSERT_EQ(mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);
  std::filesystem::create_symlink("loop.jpg", dir.file("loop.jpg"));
  const std::string jpeg = jpegtest::encoded(40, 30);
  jpegtest::writeBytes(dir.file("cut.jpg"), jpeg.substr(0, 30));
  jpegtest::writeBytes(dir.file("empty.png"), "");
  for (const BadProject& c : badProjects()) {
    SCOPED_TRACE(c.text.substr(0, 120));
    PtoReader reader;
    EXPECT_FALSE(ptotest::readProject(dir, c.text, {{"a.jpg"}}, &reader));
    EXPECT_NE(reader.error().find(c.reason), std::string::npos) << reader.error();
    EXPECT_TRUE(reader.project().images.empty());
  }
}

TEST(PtoReader, RefusesTooManyImages) {
  std::string text;
  for (int i = 0; i <= kPtoMaxImages; ++i) text += "i w40 h30 n\"a.jpg\"\n";
  PtoReader reader;
  EXPECT_FALSE(reader.parse(text, "."));
  EXPECT_EQ(reader.error(), "Zeile 10001: mehr als 10000 Bilder");
}

TEST(PtoReader, RefusesProjectFilesThatAreNoUsableFiles) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("folder.pto"));
  ASSERT_EQ(mkfifo(dir.file("pipe.pto").c_str(), 0600), 0);
  {
    std::ofstream big(dir.file("big.pto"), std::ios::binary);
  }
  // A sparse file just over the limit costs no disk space.
  ASSERT_EQ(truncate(dir.file("big.pto").c_str(), static_cast<off_t>(PtoReader::kMaxFileBytes) + 1), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"missing.pto", "Projektdatei nicht gefunden: "},
      {"folder.pto", "Projektdatei ist keine gewöhnliche Datei: "},
      {"pipe.pto", "Projektdatei ist keine gewöhnliche Datei: "},
      {"big.pto", "Projektdatei größer als 64 MB: "},
  };
  for (const auto& [name, reason] : cases) {
    PtoReader reader;
    EXPECT_FALSE(reader.read(dir.file(name))) << name;
    EXPECT_EQ(reader.error(), reason + dir.file(name));
  }
}

TEST(PtoReader, AFailedReadLeavesNoProjectBehind) {
  TempDir dir;
  PtoReader reader;
  ASSERT_TRUE(ptotest::readProject(dir, "i w40 h30 n\"a.jpg\"", {{"a.jpg"}}, &reader)) << reader.error();
  ASSERT_EQ(reader.project().images.size(), 1u);
  EXPECT_FALSE(reader.parse("i w40", dir.path().string()));
  EXPECT_TRUE(reader.project().images.empty());
  EXPECT_FALSE(reader.error().empty());
}
