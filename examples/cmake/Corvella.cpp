// The smallest Corvella: a Windows program that starts and ends. The installer starts
// it once it has installed it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
