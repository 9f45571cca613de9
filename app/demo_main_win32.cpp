// zorvik-demo: the program with its training modems built in.
#include "app/program_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return app::RunDemoProgram(); }
