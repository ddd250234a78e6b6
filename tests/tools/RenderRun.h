#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"

// Running panorama-render (from PANO_BIN_DIR, "." without it) in the working
// directory: its output is left in stdout.txt and stderr.txt and read back.
struct RenderRun {
  int exitCode;  // -1 when it did not exit normally
  std::string out;
  std::string errors;
};

RenderRun render(const std::string& arguments);
// The same run inside `bash -c`, after the shell words `setup` (a ulimit, a
// chmod ...) and under a 60 s timeout.
RenderRun renderInShell(const std::string& arguments, const std::string& setup = "");

// A suite whose tests share the small sample panorama (with its sound data),
// written once for the suite; every test is skipped without PANO_BIN_DIR.
class SmallSampleSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  static std::string xml() { return sample_->file("pano/panorama.xml"); }
  static std::string sound() { return sample_->file("pano/sound"); }

  static TempDir* sample_;
};
