// Process entry of the game on Linux: the window entry, with no command line.
#include "app/app_main.h"

int main()
{
    char no_arguments[] = "";
    return WinMain(nullptr, nullptr, no_arguments, SW_SHOW);
}
