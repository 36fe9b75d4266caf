// bench-floor: the least that any program must do for the same visible result, in bare Xlib:
// map a plain 640 by 480 window titled "An SDL2 window", keep it 3000 ms, destroy it, exit 0.
// The benchmark measures it beside sdl2-window, to show what SDL2 and OpenGL add.
#include <X11/Xlib.h>

#include <cstdio>
#include <ctime>

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::printf("Could not create window: no X display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display,
                                              DefaultRootWindow(display),
                                              0,
                                              0,
                                              640,
                                              480,
                                              0,
                                              BlackPixel(display, DefaultScreen(display)),
                                              BlackPixel(display, DefaultScreen(display)));
    XStoreName(display, window, "An SDL2 window");
    XMapWindow(display, window);
    XFlush(display);

    const timespec hold{3, 0};
    nanosleep(&hold, nullptr);

    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
