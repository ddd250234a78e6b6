#include "CommandLine.h"

#include <QFileInfo>
#include <QtGlobal>

#include <opencv2/core/version.hpp>

#include "base/Version.h"

CommandLine parseCommandLine(const QStringList& arguments) {
  CommandLine line;
  QStringList names;
  bool optionsEnded = false;
  for (const QString& argument : arguments) {
    if (optionsEnded || argument == "-" || !argument.startsWith('-')) {
      names << argument;
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      line.help = true;
    } else if (argument == "--version") {
      line.version = true;
    } else if (line.error.isEmpty()) {
      line.error = QString("unknown option %1").arg(argument);
    }
  }
  if (line.help || line.version) {
    line.error.clear();
    return line;
  }
  if (!line.error.isEmpty()) {
    return line;
  }
  if (names.size() > 2) {
    line.error = QString("too many arguments (%1): give a panorama and a sound directory at most")
                     .arg(names.size());
  } else if (names.size() == 2) {
    line.panorama = names[0];
    line.soundDirectory = names[1];
  } else if (names.size() == 1) {
    (QFileInfo(names[0]).isDir() ? line.soundDirectory : line.panorama) = names[0];
  }
  return line;
}

QString commandLineUsage() {
  return QString(
      "usage: panorama-viewer [--help] [--version] [PANORAMA] [SOUNDDIR]\n"
      "\n"
      "Shows a spherical panorama made of overlapping photographs, with an optional\n"
      "sound map laid over it.\n"
      "\n"
      "  PANORAMA   panorama description (*.xml), stitcher project (*.pto) or\n"
      "             360-degree photograph (*.jpg, *.jpeg), opened at start as\n"
      "             File > open XML does\n"
      "  SOUNDDIR   directory of sound data CSV files, opened once the panorama\n"
      "             open has ended (a single argument that is a directory is one)\n"
      "  --help     print this text and exit\n"
      "  --version  print the program's, Qt's and OpenCV's versions and exit\n"
      "  --         every later argument is a name, even one starting with '-'\n"
      "\n"
      "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
      "In the window: arrow keys turn the view by 2 degrees (Shift: 10), + and -\n"
      "zoom, Home returns to the start view, F11 toggles full screen; Ansicht > Ziehen\n"
      "makes the view follow the pointer. SIGINT and SIGTERM close the window.\n"
      "Exit codes: 0 done, 2 bad command line.\n");
}

QString versionText() {
  return QString("panorama-viewer %1\nQt %2\nOpenCV %3\n")
      .arg(kProgramVersion, qVersion(), CV_VERSION);
}
