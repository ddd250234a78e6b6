#include "base/Logger.h"

Logger::Logger(const char* path) : std::ofstream(path, std::ios::out | std::ios::trunc) {
  if (is_open()) {
    clear();
  } else {
    setstate(std::ios::failbit);
  }
}

Logger::~Logger() {
  log("Logger::~Logger I'll be back!");
  close();
}

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
