// panorama-render on hostile input: cameras that cannot be drawn, layers the
// sound lacks, refused files (their reasons must reach the user) and output
// that cannot be written completely.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "SampleWriter.h"
#include "RenderRun.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class RenderHostile : public SmallSampleSuite {};

TEST_F(RenderHostile, CamerasThatCannotBeDrawnAreUsageErrors) {
  TempDir work;
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      // Finite in degrees, infinite in radians: a NaN ray index once indexed
      // the sound grid far outside.
      {"--azimuth -1e308", 2, "bad value for --azimuth: -1e308"},
      {"--altitude 1e308", 2, "bad value for --altitude: 1e308"},
      {"--azimuth 1000000.5", 2, "bad value for --azimuth"},
      {"--altitude nan", 2, "bad value for --altitude"},
      {"--azimuth inf", 2, "bad value for --azimuth"},
      // The centre ray becomes 0/0.
      {"--f 3e-308", 2, "bad value for --f: 3e-308 mm gives a horizontal field of view of 180"},
      // Overflowed an int on the way to pixels.
      {"--f 1e9", 2, "bad value for --f: 1e+09 mm"},
      {"--f 5 --width 16384 --height 1", 2, "on a 16384 x 1 canvas"},
      {"--azimuth 1e6 --altitude -1e6", 0, ""},
      {"--f 0.2", 0, ""},  // 178.7 degrees
      {"--f 100000", 0, ""},  // 0.02 degrees
  };
  for (const Case& c : cases) {
    const RenderRun run = renderInShell("--sound " + sound() + " --width 64 --height 48 " + c.arguments +
                           " --out view.png");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << "\n" << run.errors;
    if (c.exitCode == 2) {
      EXPECT_NE(run.errors.find("usage: panorama-render"), std::string::npos) << c.arguments;
    }
  }
}

TEST_F(RenderHostile, LayerTheLoadedSoundLacksIsAUsageError) {
  TempDir work;
  fs::create_directory("empty");
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {"--sound " + sound() + " --layer 99", 2,
       "bad value for --layer: 99 (the sound data has 3 sets, 0 ... 2)"},
      {"--sound " + sound() + " --layer 3", 2, "bad value for --layer: 3"},
      {"--sound " + sound() + " --layer 2", 0, ""},
      {"--panorama " + xml() + " --sound " + sound() + " --layer 3", 2, "bad value for --layer"},
      {"--sound empty", 4, "the sound directory empty holds no data sets"},
  };
  for (const Case& c : cases) {
    fs::remove("view.png");
    const RenderRun run = renderInShell(c.arguments + " --width 64 --height 48 --out view.png");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << "\n" << run.errors;
    EXPECT_EQ(fs::exists("view.png"), c.exitCode == 0) << c.arguments;
    EXPECT_EQ(run.errors.find("usage:") != std::string::npos, c.exitCode == 2) << c.arguments;
  }
}

TEST_F(RenderHostile, RefusalsShowTheViewersMessageWithTheReasonAsASecondParagraph) {
  TempDir work;
  ASSERT_EQ(::mkfifo("pipe.xml", 0600), 0);
  writeFile("comma.xml",
            "<p><c>1</c><cam><l><n>x</n><f>18</f></l><s><w>23.6</w><h>15.8</h></s></cam>\n"
            "<q><v>0</v><v>80,9</v><v>0</v><v>0</v><v>0</v><v>30</v><v>40</v></q></p>\n");
  fs::create_directory("sound");
  writeFile("sound/a.csv", "2X1\nlaut\n0.5000,10.5000\n");

  struct Case {
    std::string arguments;
    int exitCode;
    std::string text;  // the whole text the window would show
  };
  const Case cases[] = {
      {"--panorama pipe.xml", 3,
       "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!\n\n„pipe.xml“ ist keine "
       "gewöhnliche Datei (Verzeichnis, Pipe oder Gerät).\n"},
      {"--panorama comma.xml", 3,
       "Fehler beim lesen der XML-Datei!\n\nElement 2 der Fotogruppe 1 (Zeile 2): „80,9“ ist "
       "keine Zahl.\n"},
      {"--sound sound", 4,
       "Fehler beim Laden der Tondaten!!!\n\nDatei „sound/a.csv“, Zeile 3, Wert 2: „10.5000“ ist "
       "kein Tonwert"},
  };
  for (const Case& c : cases) {
    const RenderRun run = renderInShell(c.arguments + " --out view.png");
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.errors;
    EXPECT_EQ(run.errors.rfind(c.text, 0), 0u) << c.arguments << "\n" << run.errors;
  }
}

TEST_F(RenderHostile, OutputThatIsNotWrittenWhollyFailsAndLeavesNoFile) {
  TempDir work;
  fs::create_directory("folder.png");
  writeFile("kept.bmp", "the image of an earlier run");
  struct Case {
    std::string out;
    std::string setup;
    std::string message;
    std::string left;  // what the target holds afterwards ("" for nothing)
  };
  // A file size limit stands for a full disk (it holds for root too): the
  // encoder's buffered writes fail, or only the closing does, unseen by it.
  const Case cases[] = {
      {"folder.png", "", "could not write folder.png: folder.png is a directory", ""},
      {"kept.bmp", "trap \"\" XFSZ; ulimit -f 100;", "could not write kept.bmp", "the image of an earlier run"},
      {"small.png", "trap \"\" XFSZ; ulimit -f 1;", "could not write small.png", ""},
  };
  for (const Case& c : cases) {
    const RenderRun run = renderInShell("--sound " + sound() + " --width 800 --height 600 --out " + c.out, c.setup);
    EXPECT_EQ(run.exitCode, 5) << c.out << "\n" << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.out << "\n" << run.errors;
    if (c.left.empty()) {
      EXPECT_FALSE(fs::is_regular_file(c.out)) << c.out;
    } else {
      EXPECT_EQ(readWholeFile(c.out), c.left) << c.out;
    }
  }
  for (const auto& entry : fs::directory_iterator(".")) {
    EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos)
        << "left behind: " << entry.path();
  }
  const RenderRun written = renderInShell("--sound " + sound() + " --width 80 --height 60 --out fine.bmp");
  EXPECT_EQ(written.exitCode, 0) << written.errors;
  EXPECT_EQ(fs::file_size("fine.bmp"), 54u + 80 * 60 * 3);
}

}  // namespace
