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
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const title = "An SDL2 window";

double now_ms()
{
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC, &ts); // cannot fail for the monotonic clock
    return (static_cast<double>(ts.tv_sec) * 1e3) + (static_cast<double>(ts.tv_nsec) / 1e6);
}

[[noreturn]] void fail(const char *what)
{
    std::cerr << "bench-run: " << what << ": " << std::strerror(errno) << '\n';
    std::exit(2);
}

struct Child {
    pid_t pid = 0;
    int pidfd = -1;
    bool done = false;
};

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
    const bool match = std::strcmp(name, title) == 0;
    XFree(name);
    return match;
}

int ignore_errors(Display * /*display*/, XErrorEvent * /*error*/)
{
    return 0; // a window may be gone before its name is read
}

// An X connection that hears of every top-level window's map, unmap and destruction.
Display *watch_root()
{
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return nullptr;
    XSetErrorHandler(ignore_errors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    return display;
}

void read_events(Display *display, Result &result)
{
    while (XPending(display) > 0) {
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

std::vector<Child> start(int count, char **argv)
{
    std::vector<Child> children(static_cast<size_t>(count));
    for (Child &child : children) {
        child.pid = fork();
        if (child.pid < 0)
            fail("fork");
        if (child.pid == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        child.pidfd = static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0));
        if (child.pidfd < 0)
            fail("pidfd_open");
    }
    return children;
}

void reap(Child &child, Result &result)
{
    int wstatus = 0;
    rusage usage{};
    if (wait4(child.pid, &wstatus, 0, &usage) < 0)
        fail("wait4");
    result.end = now_ms();
    child.done = true;
    close(child.pidfd);
    result.peak_kb += usage.ru_maxrss;
    const int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (result.status == 0)
        result.status = code;
}

// Waits for every copy to exit, reading the window's events as they come.
void wait_all(std::vector<Child> &children, Display *display, Result &result)
{
    size_t left = children.size();
    while (left > 0) {
        std::vector<pollfd> fds(children.size());
        std::transform(children.begin(), children.end(), fds.begin(), [](const Child &child) {
            return pollfd{child.done ? -1 : child.pidfd, POLLIN, 0};
        });
        if (display != nullptr) {
            fds.push_back({ConnectionNumber(display), POLLIN, 0});
            read_events(display, result); // what Xlib has queued already
        }
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            fail("poll");
        if (display != nullptr)
            read_events(display, result); // a window's events before its process's exit
        for (size_t i = 0; i < children.size(); ++i) {
            if (!children[i].done && (fds[i].revents & POLLIN) != 0) {
                reap(children[i], result);
                --left;
            }
        }
    }
}

std::string span(double from, double to)
{
    if (from == 0 || to == 0)
        return "-";
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << to - from;
    return text.str();
}

} // namespace

int main(int argc, char *argv[])
{
    const long count = argc < 3 ? 0 : std::strtol(argv[1], nullptr, 10);
    if (count < 1 || count > 1000) {
        std::cerr << "usage: bench-run COUNT PROGRAM [ARG...]\n";
        return 2;
    }

    Display *display = count == 1 ? watch_root() : nullptr;
    Result result;
    result.start = now_ms();
    std::vector<Child> children = start(static_cast<int>(count), argv + 2);
    wait_all(children, display, result);

    std::cout << span(result.start, result.end) << ',' << result.peak_kb << ','
              << span(result.start, result.map) << ',' << span(result.map, result.unmap) << ','
              << span(result.destroy, result.end) << ',' << result.status << '\n';
    if (display != nullptr)
        XCloseDisplay(display);
    return 0;
}
