// A test double of the SDL2 functions that sdl2-window calls, loaded ahead of the real library
// with LD_PRELOAD. It logs every call with its arguments and steers the results.
//
// Settings, from the environment (any other SDL_DOUBLE_ name is refused):
//   SDL_DOUBLE_LOG     file that receives one line per call (required)
//   SDL_DOUBLE_INIT    what SDL_Init returns: ok (0, the default) or fail (-1)
//   SDL_DOUBLE_WINDOW  whether SDL_CreateWindow makes a window: yes (the default) or no
//   SDL_DOUBLE_ERROR   the text that SDL_GetError returns (default: "no window, by request")
#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h> // environ

namespace {

const char *log_path;
int init_result = 0;
bool make_window = true;
const char *error_text = "no window, by request";

// Any address that is not null will do: the program only hands it back.
char window_object;
SDL_Window *const fake_window = reinterpret_cast<SDL_Window *>(&window_object);

[[noreturn]] void refuse(const char *what, const char *value)
{
    dprintf(STDERR_FILENO, "sdl_double: %s: %s\n", what, value);
    _exit(125);
}

// Reads the settings when the double is loaded, so that a typo stops the run before it starts.
__attribute__((constructor)) void read_settings()
{
    constexpr std::string_view prefix = "SDL_DOUBLE_";
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const char *setting = *entry;
        if (std::strncmp(setting, prefix.data(), prefix.size()) != 0)
            continue;
        const char *name = setting + prefix.size();
        const char *value = std::strchr(setting, '=') + 1;
        if (std::strncmp(name, "LOG=", 4) == 0) {
            log_path = value;
        } else if (std::strncmp(name, "ERROR=", 6) == 0) {
            error_text = value;
        } else if (std::strcmp(name, "INIT=ok") == 0 || std::strcmp(name, "INIT=fail") == 0) {
            init_result = std::strcmp(value, "ok") == 0 ? 0 : -1;
        } else if (std::strcmp(name, "WINDOW=yes") == 0 || std::strcmp(name, "WINDOW=no") == 0) {
            make_window = std::strcmp(value, "yes") == 0;
        } else {
            refuse("unknown setting", setting);
        }
    }
    if (log_path == nullptr)
        refuse("missing setting", "SDL_DOUBLE_LOG");
}

// printf-style, and checked as such by the compiler through the format attribute.
// NOLINTNEXTLINE(cert-dcl50-cpp)
__attribute__((format(printf, 1, 2))) void log_call(const char *format, ...)
{
    int fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        refuse("cannot open the log", log_path);
    va_list args;
    va_start(args, format);
    vdprintf(fd, format, args);
    va_end(args);
    close(fd);
}

} // namespace

extern "C" {

int SDL_Init(Uint32 flags)
{
    log_call("SDL_Init(0x%08x) = %d\n", flags, init_result);
    return init_result;
}

// The library's own signature.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
SDL_Window *SDL_CreateWindow(const char *title, int x, int y, int w, int h, Uint32 flags)
{
    log_call("SDL_CreateWindow(\"%s\", 0x%08x, 0x%08x, %d, %d, 0x%08x) = %s\n",
             title,
             static_cast<unsigned>(x),
             static_cast<unsigned>(y),
             w,
             h,
             flags,
             make_window ? "window" : "NULL");
    return make_window ? fake_window : nullptr;
}

// Standard output is a file in the tests: its position tells how much the program had
// written (or buffered) before it asked for the error text.
const char *SDL_GetError(void)
{
    log_call("SDL_GetError() after %ld bytes of output\n", std::ftell(stdout));
    return error_text;
}

void SDL_Delay(Uint32 ms)
{
    log_call("SDL_Delay(%u)\n", ms);
}

void SDL_DestroyWindow(SDL_Window *window)
{
    if (window == fake_window)
        log_call("SDL_DestroyWindow(window)\n");
    else
        log_call("SDL_DestroyWindow(%p)\n", static_cast<void *>(window));
}

void SDL_Quit(void)
{
    log_call("SDL_Quit()\n");
}

} // extern "C"
