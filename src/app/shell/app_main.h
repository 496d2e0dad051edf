// Program entry of the window program: application object, windows, message loop.
#pragma once

int RunKelvo(int argc, char** argv);
