// A stand-in for the SDL2 functions that sdl2-window calls, preloaded ahead of the real
// library. Each call writes its name on standard error, where the program itself writes
// nothing. SDL_DOUBLE_CASE steers the results: init-fails (SDL_Init fails, and the window is
// made all the same) or no-window; any other value stops the run, so a typo cannot pass.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

bool steered(const char *which)
{
    const char *value = std::getenv("SDL_DOUBLE_CASE");
    if (value == nullptr ||
        (std::strcmp(value, "init-fails") != 0 && std::strcmp(value, "no-window") != 0))
        std::_Exit(125);
    return std::strcmp(value, which) == 0;
}

void called(const char *name)
{
    (void)std::fprintf(stderr, "%s\n", name);
}

char window_object; // any address will do: the program only hands it back

} // namespace

extern "C" {

int SDL_Init(Uint32 /*flags*/)
{
    called("SDL_Init");
    return steered("init-fails") ? -1 : 0;
}

SDL_Window *SDL_CreateWindow(
    const char * /*title*/, int /*x*/, int /*y*/, int /*w*/, int /*h*/, Uint32 /*flags*/)
{
    called("SDL_CreateWindow");
    return steered("no-window") ? nullptr : reinterpret_cast<SDL_Window *>(&window_object);
}

const char *SDL_GetError(void)
{
    called("SDL_GetError");
    return "no window, by request";
}

void SDL_Delay(Uint32 ms)
{
    called("SDL_Delay");
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SDL_DestroyWindow(SDL_Window * /*window*/)
{
    called("SDL_DestroyWindow");
}

void SDL_Quit(void)
{
    called("SDL_Quit");
}

} // extern "C"
