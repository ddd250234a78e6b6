#include "base/Logger.h"

// A file that cannot be opened leaves the stream failed, and every write a
// silent no-op.
Logger::Logger(const char* path) : std::ofstream(path, std::ios::out | std::ios::trunc) {}

// The stream's own destructor closes the file after the last entry.
Logger::~Logger() { log("Logger::~Logger I'll be back!"); }

std::string Logger::timeText(std::time_t t) {
  char buffer[64];
  if (ctime_r(&t, buffer) == nullptr) {
    return "??? ??? ?? ??:??:?? ????\n";
  }
  return buffer;
}

void Logger::writeEntry(const char* prefix, const char* first, const char* second) {
  std::lock_guard<std::mutex> lock(entryMutex_);
  if (fail()) {
    return;
  }
  const std::string time = timeText(std::time(nullptr));
  *this << time << prefix << (first ? first : "");
  if (second != nullptr) {
    *this << ": " << second;
  }
  *this << '\n';
  flush();
}

void Logger::log(const char* message) { writeEntry("\t", message, nullptr); }

void Logger::logError(const char* context, const std::string& exceptionText) {
  writeEntry("\tERR\t", context, exceptionText.c_str());
}
