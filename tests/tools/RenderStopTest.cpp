// panorama-render stops at its next step on SIGINT and SIGTERM: the exit code
// names the signal, and the controller is closed as at a normal end (the
// log's last entry written).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SampleWriter.h"
#include "support/TempDir.h"

namespace {

// Starts panorama-render with `arguments` in the working directory, its
// standard error into stderr.txt; returns its process id.
pid_t startRender(const std::vector<std::string>& arguments) {
  const std::string program = std::string(std::getenv("PANO_BIN_DIR")) + "/panorama-render";
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen("stderr.txt", "w", stderr) == nullptr ||
        std::freopen("/dev/null", "w", stdout) == nullptr) {
      _exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits up to a minute until the log holds `entry`; false at once when the
// process `pid` ends before (its status then in *status).
bool logHas(const std::string& entry, pid_t pid, int* status, bool* ended) {
  for (int i = 0; i < 600; ++i) {
    if (readWholeFile("vemraLogic.log").find(entry) != std::string::npos) return true;
    if (waitpid(pid, status, WNOHANG) == pid) {
      *ended = true;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace

TEST(RenderStop, SignalStopsTheBenchmarkAndClosesTheController) {
  if (std::getenv("PANO_BIN_DIR") == nullptr) GTEST_SKIP() << "PANO_BIN_DIR not set";
  TempDir work;
  std::string error;
  ASSERT_TRUE(writeSmallSample(work.file("pano"), &error)) << error;
  struct Case {
    int signal;
    int exitCode;
    const char* message;
  };
  for (const Case& c : {Case{SIGTERM, 143, "panorama-render: stopped by SIGTERM\n"},
                        Case{SIGINT, 130, "panorama-render: stopped by SIGINT\n"}}) {
    std::remove("vemraLogic.log");
    // Far more quick views than the test waits for.
    const pid_t pid = startRender({"--panorama", work.file("pano/panorama.xml"), "--width", "160",
                                   "--height", "120", "--bench", "1000000"});
    ASSERT_GT(pid, 0);
    int status = 0;
    bool ended = false;
    const bool turning = logHas("PanController::setCameraData", pid, &status, &ended);
    if (!ended) {
      kill(pid, c.signal);
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
    }
    ASSERT_TRUE(turning) << "the benchmark did not start: " << readWholeFile("stderr.txt");
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
    EXPECT_EQ(readWholeFile("stderr.txt"), c.message);
    const std::string log = readWholeFile("vemraLogic.log");
    const std::string end = "\tPanController::close\n";
    const std::string last = "\tLogger::~Logger I'll be back!\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
    EXPECT_NE(log.find(end), std::string::npos);
  }
}
