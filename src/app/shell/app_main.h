// Program entry of the window program: application object, windows, message loop.
#pragma once

class MainWindow;

int RunKelvo(int argc, char** argv);

// Shows the main window at the start: centred on the screen, or maximised
// when it does not fit.
void ShowMainWindow(MainWindow& fmMain);
