// sdl2-window: shows one 640 by 480 window titled "An SDL2 window" for three seconds.
// When no window can be made, prints the library's reason on standard output and exits 1.

// Our main is an ordinary one: keep the library's header from renaming it.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <iostream>

int main(int /*argc*/, char * /*argv*/[])
{
    // A failed start-up is not fatal by itself: creating the window tells.
    SDL_Init(SDL_INIT_VIDEO);

    SDL_Window *window = SDL_CreateWindow("An SDL2 window",
                                          SDL_WINDOWPOS_UNDEFINED,
                                          SDL_WINDOWPOS_UNDEFINED,
                                          640,
                                          480,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (window == nullptr) {
        // Fetch the reason before anything is written, so that no output can replace it.
        const char *error = SDL_GetError();
        std::cout << "Could not create window: " << error << '\n';
        return 1;
    }

    SDL_Delay(3000);

    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
