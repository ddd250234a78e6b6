#pragma once

#include <string>
#include <vector>

#include "SampleWriter.h"

// The command line of panorama-sample.
struct SampleArguments {
  SampleOptions options;
  bool help = false;

  // Reads the arguments after the program name. False with a reason for an
  // unknown option, a missing or malformed value, or a second directory.
  static bool parse(const std::vector<std::string>& arguments, SampleArguments* result,
                    std::string* error);
};

extern const char* const kSampleUsage;
