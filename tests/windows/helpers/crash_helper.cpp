// A windowed program that ends in an unhandled access violation, as a crashing installer would. Built
// for the GUI subsystem: Wine shows its crash dialog only for such programs.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A real write through a null pointer, as a faulty program makes, not a raised exception.
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
