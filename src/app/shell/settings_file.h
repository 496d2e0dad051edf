// The settings file "KELVO 5.ini" of the main window: read at the first
// activation (then the windows take their stored places when asked to) and
// written when the exit is confirmed, with the current places of the seven
// stored windows (a window never shown keeps the place read, or gets the one
// it would open at).
#pragma once

class MainWindow;
class OptionWindow;
class RunSetupWindow;

// Installs the main window's settings reader and writer. `runSetup` and
// `option` are the run-setup and options windows (either may be null); they
// show what was read.
void InstallSettingsFile(MainWindow& main, RunSetupWindow* runSetup, OptionWindow* option);
