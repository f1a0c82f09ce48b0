// The Windows entry point: the viewer takes no arguments and no show command.
#include "platform/platform.h"  // <windows.h> first, through platform/gl.h

#include "app/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return run_viewer(reinterpret_cast<InstanceHandle>(instance));
}
