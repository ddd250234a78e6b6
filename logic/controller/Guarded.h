#pragma once

#include <exception>

#include <opencv2/core.hpp>

#include "base/Logger.h"
#include "base/TextFormat.h"

// Runs `body`, logging any exception that leaves it under `context`
// ("<context>, cvException" for the image library's, "<context>, general
// exception" for any other), so that a failing user action or worker step
// never ends the program.
template <typename Body>
void guarded(Logger* logger, const char* context, Body&& body) {
  try {
    body();
  } catch (const cv::Exception& e) {
    logger->logError(formatText("%s, cvException", context).c_str(), e.what());
  } catch (const std::exception& e) {
    logger->logError(formatText("%s, general exception", context).c_str(), e.what());
  } catch (...) {
    logger->logError(formatText("%s, general exception", context).c_str(), "unknown exception");
  }
}
