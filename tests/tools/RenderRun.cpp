#include "RenderRun.h"

#include <sys/wait.h>

#include <cstdlib>

#include "SampleWriter.h"

namespace {

RenderRun runCommand(const std::string& command) {
  const int status = std::system((command + " > stdout.txt 2> stderr.txt").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWholeFile("stdout.txt"),
          readWholeFile("stderr.txt")};
}

std::string program() {
  const char* bin = std::getenv("PANO_BIN_DIR");
  return std::string(bin ? bin : ".") + "/panorama-render";
}

}  // namespace

RenderRun render(const std::string& arguments) { return runCommand(program() + " " + arguments); }

RenderRun renderInShell(const std::string& arguments, const std::string& setup) {
  return runCommand("bash -c '" + setup + " timeout 60 " + program() + " " + arguments + "'");
}

TempDir* SmallSampleSuite::sample_ = nullptr;

void SmallSampleSuite::SetUpTestSuite() {
  if (std::getenv("PANO_BIN_DIR") == nullptr) return;
  sample_ = new TempDir;
  std::string error;
  ASSERT_TRUE(writeSmallSample(sample_->file("pano"), &error)) << error;
}

void SmallSampleSuite::TearDownTestSuite() {
  delete sample_;
  sample_ = nullptr;
}

void SmallSampleSuite::SetUp() {
  if (std::getenv("PANO_BIN_DIR") == nullptr) GTEST_SKIP() << "PANO_BIN_DIR not set";
}
