// Settings for the ThreadSanitizer build of the controller tests.
#if defined(__SANITIZE_THREAD__)
#include <opencv2/core/utility.hpp>

// OpenCV's own worker pool (cv::parallel_for_) is uninstrumented: its
// hand-over of work looks to the sanitizer like unsynchronised access to the
// caller's stack. Running OpenCV's loops on the calling thread keeps the
// reports to the threads of this program.
namespace {
const bool kOpenCvSequential = [] {
  cv::setNumThreads(0);
  return true;
}();
}  // namespace
#endif
