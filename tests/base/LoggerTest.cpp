#include <gtest/gtest.h>

#include <ctime>
#include <thread>
#include <vector>

#include "base/Logger.h"
#include "support/TempDir.h"

namespace {

// Splits the log into entries: every entry is a 25-character time line
// followed by one message line that starts with a tab.
std::vector<std::string> messages(const std::string& text) {
  std::vector<std::string> result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t timeEnd = text.find('\n', pos);
    if (timeEnd == std::string::npos || timeEnd - pos != 24) {
      ADD_FAILURE() << "bad time line at " << pos;
      return result;
    }
    std::size_t end = text.find('\n', timeEnd + 1);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated entry";
      return result;
    }
    result.push_back(text.substr(timeEnd + 1, end - timeEnd - 1));
    pos = end + 1;
  }
  return result;
}

}  // namespace

TEST(Logger, StepAndErrorEntriesHaveTheExactBytes) {
  TempDir dir;
  {
    Logger logger;
    logger.log("PanController::openPanorama");
    logger.logError("recalcPanImage, loadNeededPictures general exception", "FUU");
    logger.log("");
  }
  const std::string text = readWholeFile(dir.file("vemraLogic.log"));
  EXPECT_EQ(messages(text),
            (std::vector<std::string>{"\tPanController::openPanorama",
                                      "\tERR\trecalcPanImage, loadNeededPictures general exception: FUU",
                                      "\t", "\tLogger::~Logger I'll be back!"}));
}

TEST(Logger, TimeTextIsCtimeWithBlankPaddedDay) {
  std::tm day{};
  day.tm_year = 2026 - 1900;
  day.tm_mon = 11;
  day.tm_mday = 6;
  day.tm_hour = 6;
  day.tm_min = 28;
  day.tm_sec = 21;
  day.tm_isdst = -1;
  EXPECT_EQ(Logger::timeText(std::mktime(&day)), "Sun Dec  6 06:28:21 2026\n");
}

TEST(Logger, EveryEntryIsFlushedAtOnce) {
  TempDir dir;
  Logger logger;
  logger.log("first");
  EXPECT_EQ(messages(readWholeFile(dir.file("vemraLogic.log"))),
            std::vector<std::string>{"\tfirst"});
}

TEST(Logger, ASecondRunEmptiesTheLog) {
  TempDir dir;
  { Logger first; first.log("from the first run"); }
  { Logger second; }
  EXPECT_EQ(messages(readWholeFile(dir.file("vemraLogic.log"))),
            std::vector<std::string>{"\tLogger::~Logger I'll be back!"});
}

TEST(Logger, AnUnopenableFileMakesWritesSilentNoOps) {
  TempDir dir;
  Logger logger((dir.path() / "missing" / "vemraLogic.log").c_str());
  EXPECT_TRUE(logger.fail());
  logger.log("nothing");
  logger.logError("context", "text");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST(Logger, EntriesOfSeveralThreadsNeverInterleave) {
  TempDir dir;
  constexpr int kThreads = 4;
  constexpr int kEntries = 300;
  {
    Logger logger;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&logger, t] {
        const std::string message = "thread " + std::to_string(t) + std::string(200, 'a' + t);
        for (int i = 0; i < kEntries; ++i) {
          if (i % 2) {
            logger.log(message.c_str());
          } else {
            logger.logError(message.c_str(), message);
          }
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  const auto entries = messages(readWholeFile(dir.file("vemraLogic.log")));
  ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kEntries + 1));
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
    const std::string& entry = entries[i];
    const char letter = entry.back();
    EXPECT_EQ(entry.find_first_not_of(std::string("\tERthread :0123") + letter), std::string::npos)
        << entry;
  }
  EXPECT_EQ(entries.back(), "\tLogger::~Logger I'll be back!");
}
