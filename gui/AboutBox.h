#pragma once

#include <QString>

class QWidget;

// The text of Hilfe > Über: the program's name and version (kProgramVersion),
// the Qt version it runs with (and the one it was built with, when they
// differ) and the OpenCV version, in German, as rich text.
QString aboutText();

// Shows aboutText in QMessageBox::about over `parent`; returns when closed.
void showAboutBox(QWidget* parent);
