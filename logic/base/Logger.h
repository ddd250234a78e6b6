#pragma once

#include <ctime>
#include <fstream>
#include <mutex>
#include <string>

// The program's one log of steps and caught failures, an output file stream
// on "vemraLogic.log" in the working directory, emptied when it is opened.
//
// Entry formats (the time text is ctime's 24 characters plus its line feed):
//   step:  <time>\n \t <message> \n
//   error: <time>\n \t ERR \t <context> ": " <exception text> \n
// Every entry is flushed at once and written as one unit: entries of
// different threads never interleave. If the file cannot be opened the stream
// stays failed and every write is a silent no-op.
class Logger : public std::ofstream {
 public:
  static constexpr const char* kFileName = "vemraLogic.log";

  // Opens `path` (normally the default) for output, emptying it.
  explicit Logger(const char* path = kFileName);
  // Writes "Logger::~Logger I'll be back!" as the last entry and closes.
  ~Logger() override;

  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void log(const char* message);
  void log(const std::string& message) { log(message.c_str()); }
  void logError(const char* context, const std::string& exceptionText);

  // ctime's text for `t` in local time: 24 characters and a line feed.
  static std::string timeText(std::time_t t);

 private:
  void writeEntry(const char* prefix, const char* first, const char* second);

  std::mutex entryMutex_;
};
