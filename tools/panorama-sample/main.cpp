// panorama-sample: writes a complete sample panorama (description, photographs
// and sound data) from a built-in scene or an equirectangular image.
#include <iostream>
#include <string>
#include <vector>

#include "SampleArguments.h"
#include "SampleSound.h"
#include "SampleWriter.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  SampleArguments parsed;
  std::string error;
  if (!SampleArguments::parse(arguments, &parsed, &error)) {
    std::cerr << "panorama-sample: " << error << "\n\n" << kSampleUsage;
    return 2;
  }
  if (parsed.help) {
    std::cout << kSampleUsage;
    return 0;
  }
  const SampleWriter writer(parsed.options);
  if (!writer.run(&error)) {
    std::cerr << "panorama-sample: " << error << "\n";
    return 1;
  }
  const SampleOptions& o = parsed.options;
  if (o.equirectWidth > 0) {
    std::cout << "panorama-sample: wrote the 360-degree photograph " << writer.panoramaPath() << " and "
              << SoundSet::standard().size() << " sound data sets in " << o.directory << "/"
              << SampleWriter::kSoundDirectory << "\n";
    return 0;
  }
  std::cout << "panorama-sample: wrote " << o.layout.directions().size() << " photographs of "
            << o.photoWidth << " x " << o.photoHeight << " pixels, " << writer.panoramaPath() << " and "
            << SoundSet::standard().size() << " sound data sets in " << o.directory << "/"
            << SampleWriter::kSoundDirectory << "\n";
  return 0;
}
