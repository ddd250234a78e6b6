#pragma once

#include <QString>
#include <QStringList>

// The viewer's command line: panorama-viewer [PANORAMA] [SOUNDDIR].
struct CommandLine {
  bool help = false;     // --help or -h: print the usage, exit 0
  bool version = false;  // --version: print the versions, exit 0
  QString panorama;
  QString soundDirectory;
  // Why the command line is refused (exit 2 with the usage); empty if not.
  QString error;
};

// Parses `arguments` (without the program name). --help and --version win
// wherever they stand before "--"; otherwise an argument starting with "-"
// (other than "-" itself) is an unknown option, and "--" makes every later
// argument a name. Two names are the panorama and the sound directory; a
// single name is the sound directory when it is an existing directory, else
// the panorama (a name that is neither is refused when it is opened, with
// the message the File menu shows). More than two names are refused.
// Qt's own options (-platform, -style, ...) must be removed first, as
// QApplication does.
CommandLine parseCommandLine(const QStringList& arguments);

// The usage text printed by --help and after a refused command line.
QString commandLineUsage();
// The program's version with the Qt and OpenCV versions, one line each.
QString versionText();
