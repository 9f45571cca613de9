// The program: its whole run is app::RunProgram.
#include "app/program_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return app::RunProgram(); }
