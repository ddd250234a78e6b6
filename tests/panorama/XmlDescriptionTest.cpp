#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>

#include "panorama/XmlDescription.h"
#include "support/TempDir.h"

namespace {

// The texts of a two-photograph description, by field; group 1 is the one
// the cases change, group 2 has ID 1.
using Texts = std::map<std::string, std::string>;

Texts defaults() {
  return {{"count", "2"},   {"focal", "18"},    {"sensorWidth", "23.6"}, {"sensorHeight", "15.8"},
          {"id", "0"},      {"altitude", "90"}, {"azimuth", "10"},       {"extra1", "0"},
          {"extra2", "0"},  {"height", "30"},   {"width", "40"}};
}

// One element per line, so that the line numbers are known: the count on
// line 3, the focal length on 5, the sensor on 6, group 1 on line 9.
std::string describe(const Texts& t) {
  const auto v = [&t](const char* key) { return "<v>" + t.at(key) + "</v>"; };
  return "<?xml version=\"1.0\"?>\n<pano>\n <c>" + t.at("count") + "</c>\n <cam>\n"
         "  <lens><n>Lens</n><f>" + t.at("focal") + "</f></lens>\n"
         "  <sensor><w>" + t.at("sensorWidth") + "</w><h>" + t.at("sensorHeight") + "</h></sensor>\n"
         " </cam>\n <pics>\n  " + v("id") + v("altitude") + v("azimuth") + v("extra1") + v("extra2") +
         v("height") + v("width") + "\n  <v>1</v><v>90</v><v>0</v><v>0</v><v>0</v><v>30</v><v>40</v>\n"
         " </pics>\n</pano>\n";
}

int readWith(const Texts& changes, PanoramaDescription* out, std::string* error) {
  Texts texts = defaults();
  for (const auto& [key, text] : changes) texts[key] = text;
  std::ofstream("d.xml", std::ios::binary | std::ios::trunc) << describe(texts);
  return readXmlDescription("d.xml", out, error);
}

}  // namespace

TEST(XmlDescription, NumbersAreReadWhenTheWholeTextIsOneNumber) {
  struct Case {
    const char* field;
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"altitude", " 80.9 ", 80.9},   {"altitude", "1e2", 100.0},    {"azimuth", "-1e-9", -1e-9},
      {"azimuth", "+45", 45.0},       {"azimuth", "1e6", 1e6},       {"extra2", "2.5E-3", 0.0025},
      {"extra1", "4.9", 4.0},         {"height", "18.5", 18.0},      {"width", "3e1", 30.0},
      {"width", "\n 40 \n", 40.0},    {"focal", "18.5", 18.0},       {"focal", "1e1", 10.0},
      {"sensorWidth", "2.36e1", 23.6}, {"sensorHeight", "\t15.8", 15.8}, {"count", " 2 ", 2.0},
      {"id", " 0 ", 0.0},             {"id", "0.7", 0.0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    PanoramaDescription out;
    std::string error;
    ASSERT_EQ(readWith({{c.field, c.text}}, &out, &error), kDescriptionRead)
        << c.field << " \"" << c.text << "\": " << error;
    const PhotoEntry& first = out.photos.at(0);
    const auto d = [](auto value) { return static_cast<double>(value); };
    const std::map<std::string, double> read = {
        {"altitude", first.altitude},       {"azimuth", first.azimuth},
        {"extra1", d(first.extra1)},        {"extra2", first.extra2},
        {"height", d(first.height)},        {"width", d(first.width)},
        {"focal", d(out.focalLength)},      {"sensorWidth", out.sensorWidth},
        {"sensorHeight", out.sensorHeight}, {"count", d(out.photos.size())},
        {"id", d(first.id)}};
    EXPECT_DOUBLE_EQ(read.at(c.field), c.expected) << c.field << " \"" << c.text << "\"";
  }
}

TEST(XmlDescription, TextThatIsNotWhollyANumberRefusesTheFileNamingTheElement) {
  struct Case {
    const char* field;
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"altitude", "80,9", "Element 2 der Fotogruppe 1 (Zeile 9): „80,9“ ist keine Zahl."},
      {"azimuth", "horizon", "Element 3 der Fotogruppe 1 (Zeile 9): „horizon“ ist keine Zahl."},
      {"id", "zero", "Element 1 der Fotogruppe 1 (Zeile 9): „zero“ ist keine Zahl."},
      {"id", "0 1", "„0 1“ ist keine Zahl."},
      {"altitude", "nan", "„nan“ ist keine Zahl."},
      {"azimuth", "inf", "„inf“ ist keine Zahl."},
      {"azimuth", "0x10", "„0x10“ ist keine Zahl."},
      {"extra1", "4 mm", "Element 4 der Fotogruppe 1 (Zeile 9): „4 mm“ ist keine Zahl."},
      {"height", "30px", "Element 6 der Fotogruppe 1 (Zeile 9): „30px“ ist keine Zahl."},
      {"focal", "18mm", "Die Brennweite (Zeile 5): „18mm“ ist keine Zahl."},
      {"sensorWidth", "23,6", "Die Sensorbreite (Zeile 6): „23,6“ ist keine Zahl."},
      {"sensorHeight", "", "Die Sensorhöhe (Zeile 6) hat keinen Text."},
      {"count", "two", "Die Fotoanzahl (Zeile 3): „two“ ist keine Zahl."},
      // Numbers outside their field's range.
      {"altitude", "1e308", "Element 2 der Fotogruppe 1 (Zeile 9): „1e308“ liegt außerhalb"},
      {"azimuth", "-1000000.5", "Element 3 der Fotogruppe 1 (Zeile 9): „-1000000.5“ liegt außerhalb"},
      {"altitude", "1e999", "„1e999“ ist keine Zahl."},
      {"extra2", "1e39", "Element 5 der Fotogruppe 1 (Zeile 9): „1e39“ liegt außerhalb"},
      {"extra1", "5e9", "„5e9“ liegt nicht zwischen -2147483648 und 2147483647."},
      {"height", "0", "Element 6 der Fotogruppe 1 (Zeile 9): „0“ liegt nicht zwischen 1 und"},
      {"width", "-40", "Element 7 der Fotogruppe 1 (Zeile 9): „-40“ liegt nicht zwischen 1 und"},
      {"width", "1e10", "„1e10“ liegt nicht zwischen 1 und 2147483647."},
      {"id", "2", "Element 1 der Fotogruppe 1 (Zeile 9): „2“ liegt nicht zwischen 0 und 1."},
      {"id", "1", "Fotogruppe 2: die ID 1 kommt mehrfach vor."},
      {"count", "1e9", "Die Fotoanzahl (Zeile 3): „1e9“ liegt nicht zwischen 1 und 100000."},
      {"focal", "0.5", "Die Brennweite (Zeile 5): „0.5“ liegt nicht zwischen 1 und"},
      {"sensorWidth", "-23.6", "Die Sensorgröße (Zeile 6) ist nicht positiv."},
  };
  TempDir dir;
  for (const Case& c : cases) {
    PanoramaDescription out;
    std::string error;
    EXPECT_EQ(readWith({{c.field, c.text}}, &out, &error), kDescriptionBadLayout)
        << c.field << " \"" << c.text << "\"";
    EXPECT_NE(error.find(c.reason), std::string::npos)
        << c.field << " \"" << c.text << "\"\n  reason: " << error;
  }
}

TEST(XmlDescription, IdTextWithoutBlanksNamesThePhotograph) {
  TempDir dir;
  PanoramaDescription out;
  std::string error;
  ASSERT_EQ(readWith({{"id", " 0 "}}, &out, &error), kDescriptionRead) << error;
  EXPECT_EQ(out.photos[0].idText, "0");
  EXPECT_EQ(out.files[0], "0.jpg");
  EXPECT_EQ(out.files[1], "1.jpg");
}

TEST(XmlDescription, OnlyRegularFilesAreOpenedAndNeverWaitedFor) {
  TempDir dir;
  ASSERT_EQ(::mkfifo("pipe.xml", 0600), 0);
  std::filesystem::create_directory("folder.xml");
  std::filesystem::create_symlink("pipe.xml", "link-to-pipe.xml");
  struct Case {
    const char* path;
    const char* reason;
  };
  const Case cases[] = {
      {"pipe.xml", "„pipe.xml“ ist keine gewöhnliche Datei"},
      {"link-to-pipe.xml", "„link-to-pipe.xml“ ist keine gewöhnliche Datei"},
      {"folder.xml", "„folder.xml“ ist keine gewöhnliche Datei"},
      {"missing.xml", "„missing.xml“ existiert nicht."},
  };
  for (const Case& c : cases) {
    // A reader that opened the pipe would wait for a writer for ever.
    auto reading = std::async(std::launch::async, [&c] {
      PanoramaDescription out;
      std::string error;
      const int status = readXmlDescription(c.path, &out, &error);
      return std::make_pair(status, error);
    });
    ASSERT_EQ(reading.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.path;
    const auto [status, error] = reading.get();
    EXPECT_EQ(status, kDescriptionNotLoaded) << c.path;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
  }
}

TEST(XmlDescription, MalformedXmlNamesTheFileAndLine) {
  TempDir dir;
  std::ofstream("broken.xml") << "<pano>\n<c>1</c>\n<cam>\n";
  PanoramaDescription out;
  std::string error;
  EXPECT_EQ(readXmlDescription("broken.xml", &out, &error), kDescriptionNotLoaded);
  EXPECT_NE(error.find("„broken.xml“ ist keine wohlgeformte XML-Datei (Fehler in Zeile"),
            std::string::npos)
      << error;
}
