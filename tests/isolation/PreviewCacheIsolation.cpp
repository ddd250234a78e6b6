// Linked into every test program: before any test runs, the preview cache is
// pointed at a directory of this process under the temporary directory
// (unless PANO_PREVIEW_CACHE_DIR is set already), so that no test - nor a
// program a test starts - reads or writes the user's own cache. The
// directory goes when the program ends.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct PreviewCacheIsolation {
  std::filesystem::path made;

  PreviewCacheIsolation() {
    const char* chosen = std::getenv("PANO_PREVIEW_CACHE_DIR");
    if (chosen != nullptr && chosen[0] != '\0') {
      return;
    }
    std::error_code failure;
    const std::filesystem::path base = std::filesystem::temp_directory_path(failure);
    made = (failure ? std::filesystem::path("/tmp") : base) /
           ("pano-test-previews-" + std::to_string(::getpid()));
    ::setenv("PANO_PREVIEW_CACHE_DIR", made.c_str(), 1);
  }

  ~PreviewCacheIsolation() {
    if (!made.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    }
  }
};

const PreviewCacheIsolation isolation;

}  // namespace
