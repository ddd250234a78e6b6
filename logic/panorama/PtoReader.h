#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "panorama/PtoProject.h"

// Reads a stitcher project (".pto") into a PtoProject: the "i" lines (with
// the "o" and "#-imgfile" lines of older files and the "#-hugin" options),
// links between images resolved, "k" masks attached, every photograph found
// on this computer and, for JPEG photographs, its size checked against the
// project from the file's header. Anything malformed or absurd refuses the
// whole project with one German reason naming the line (or the photograph).
//
// The reader works line by line without recursion; its time and memory grow
// linearly with the file, which is limited to kMaxFileBytes.
class PtoReader {
 public:
  // Largest project file read (the other limits are in PtoStatements.h).
  static constexpr std::size_t kMaxFileBytes = 64u << 20;

  // Reads the project file at `path` (a regular file, links followed) and
  // looks for its photographs relative to its folder. Returns true with the
  // project in project(); false with error() saying why, project() empty.
  bool read(const std::string& path);
  // The same for project text already in memory, as if it were a file in
  // `folder` (made absolute against the working directory).
  bool parse(std::string_view text, const std::string& folder);

  const PtoProject& project() const { return project_; }
  // German reason of the last failure; empty after success.
  const std::string& error() const { return error_; }

 private:
  PtoProject project_;
  std::string error_;
};

// Finds the photograph named `fileName` in a project in `folder`: the name as
// written (absolute, or relative to the folder; "\" taken as "/" as well),
// then its last component (after the last "/" or "\") in the folder itself,
// so that a project made on another computer finds photographs kept beside
// it. Only regular files count (links followed). Returns "" when none is found.
std::string findPhotograph(const std::string& folder, const std::string& fileName);
