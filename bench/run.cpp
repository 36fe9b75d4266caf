// bench-run: starts COUNT copies of a program at once and measures them.
//   bench-run COUNT PROGRAM [ARG...]
// Prints one line, comma-separated:
//   wall_ms,peak_kb,map_ms,viewable_ms,exit_ms,status
// wall_ms: from the first fork to the last exit; peak_kb: the sum of the copies' peak resident
// memory; status: the first non-zero exit status (128 + signal for a signal), else 0.
// With one copy and an X display, it also watches the root window's substructure for the
// copy's window titled "An SDL2 window" and reports, from X events as they arrive:
//   map_ms       from the fork to the window's MapNotify
//   viewable_ms  from MapNotify to UnmapNotify
//   exit_ms      from DestroyNotify to the process's exit
// They are "-" where there is no display or no such window.
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double now_ms()
{
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC, &ts); // cannot fail for the monotonic clock
    return (static_cast<double>(ts.tv_sec) * 1e3) + (static_cast<double>(ts.tv_nsec) / 1e6);
}

[[noreturn]] void fail(const char *what)
{
    (void)std::fprintf(stderr, "bench-run: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

// What the copies did: their times and memory, and the watched window's events (0 until seen).
struct Result {
    double start = 0, end = 0;
    long peak_kb = 0;
    int status = 0;
    Window window = 0;
    double map = 0, unmap = 0, destroy = 0;
};

bool titled(Display *display, Window window)
{
    char *name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr)
        return false;
    const bool match = std::strcmp(name, "An SDL2 window") == 0;
    XFree(name);
    return match;
}

// An X connection that hears of every top-level window's map, unmap and destruction; X errors
// are ignored, since a window may be gone before its name is read.
Display *watch_root()
{
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return nullptr;
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return display;
}

void read_events(Display *display, Result &result)
{
    while (display != nullptr && XPending(display) > 0) {
        XEvent event{};
        XNextEvent(display, &event);
        const double at = now_ms();
        if (event.type == MapNotify && result.window == 0 && titled(display, event.xmap.window)) {
            result.window = event.xmap.window;
            result.map = at;
        } else if (event.type == UnmapNotify && event.xunmap.window == result.window) {
            result.unmap = at;
        } else if (event.type == DestroyNotify && event.xdestroywindow.window == result.window) {
            result.destroy = at;
        }
    }
}

// Starts the copies; each is watched through a pidfd, -1 once it has been reaped.
std::vector<pollfd> start(long count, char **argv, std::vector<pid_t> &pids)
{
    std::vector<pollfd> fds;
    for (long i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid < 0)
            fail("fork");
        if (pid == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (pidfd < 0)
            fail("pidfd_open");
        pids.push_back(pid);
        fds.push_back({pidfd, POLLIN, 0});
    }
    return fds;
}

// Waits for every copy to exit, reading the window's events as they come: those that Xlib has
// queued already, then those that arrive with a copy's exit, before its reaping.
void wait_all(std::vector<pollfd> fds,
              const std::vector<pid_t> &pids,
              Display *display,
              Result &result)
{
    const size_t count = pids.size();
    if (display != nullptr)
        fds.push_back({ConnectionNumber(display), POLLIN, 0});
    for (size_t left = count; left > 0;) {
        read_events(display, result);
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            fail("poll");
        read_events(display, result);
        for (size_t i = 0; i < count; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & POLLIN) == 0)
                continue;
            int wstatus = 0;
            rusage usage{};
            if (wait4(pids[i], &wstatus, 0, &usage) < 0)
                fail("wait4");
            result.end = now_ms();
            close(fds[i].fd);
            fds[i].fd = -1;
            --left;
            result.peak_kb += usage.ru_maxrss;
            const int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
            if (result.status == 0)
                result.status = code;
        }
    }
}

// print_span: one field of the line, in ms, and its comma.
void print_span(double from, double to)
{
    if (from == 0 || to == 0)
        std::printf("-,");
    else
        std::printf("%.2f,", to - from);
}

} // namespace

int main(int argc, char *argv[])
{
    const long count = argc < 3 ? 0 : std::strtol(argv[1], nullptr, 10);
    if (count < 1 || count > 1000) {
        (void)std::fputs("usage: bench-run COUNT PROGRAM [ARG...]\n", stderr);
        return 2;
    }

    Display *display = count == 1 ? watch_root() : nullptr;
    Result result;
    std::vector<pid_t> pids;
    result.start = now_ms();
    wait_all(start(count, argv + 2, pids), pids, display, result);

    print_span(result.start, result.end);
    std::printf("%ld,", result.peak_kb);
    print_span(result.start, result.map);
    print_span(result.map, result.unmap);
    print_span(result.destroy, result.end);
    std::printf("%d\n", result.status);
    if (display != nullptr)
        XCloseDisplay(display);
    return 0;
}
