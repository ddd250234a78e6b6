#pragma once

#include <cstddef>
#include <string>

// Opening files named by the user without ever blocking on them: a named
// pipe (FIFO) or a device opened for reading can wait forever for a writer,
// so only regular files (symbolic links followed) are opened at all. The
// test and the read use the same open descriptor (opened non-blocking), so a
// file swapped for a pipe between them cannot block either.

enum class FileProblem {
  kNone,
  kMissing,       // no such file, or no path given
  kNotRegular,    // a directory, pipe, device or socket
  kNoPermission,  // not readable for this user
  kUnreadable,    // any other failure to open or read
  kTooLarge,      // more bytes than the reader accepts
};

// Whether `path` is a regular file this process can open for reading.
FileProblem probeRegularFile(const char* path);
// Reads the whole regular file at `path` into *content (at most maxBytes;
// a larger file gives kTooLarge). *content is unspecified on failure.
FileProblem readRegularFile(const char* path, std::size_t maxBytes, std::string* content);
// One German sentence for the user that names the file and the problem, e.g.
// "„a.xml“ ist keine gewöhnliche Datei (Verzeichnis, Pipe oder Gerät)."
std::string describeFileProblem(FileProblem problem, const std::string& path);
