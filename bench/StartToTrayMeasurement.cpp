// Time from starting a program to its first window being viewable, which for a tray utility is its
// icon docked in the tray. Watches the X server from this process, so the measurement itself costs
// the machine next to nothing. Usage: measure_start_to_tray RUNS PROGRAM [ARGUMENTS...]
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

bool viewableWindowOf(Display *display, Window window, Atom pidAtom, pid_t pid)
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) {
        Atom type;
        int format;
        unsigned long count, remaining;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                               &data) == Success &&
            data) {
            const bool match = count == 1 && pid_t(*reinterpret_cast<unsigned long *>(data)) == pid;
            XFree(data);
            if (match)
                return true;
        }
    }
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = viewableWindowOf(display, children[i], pidAtom, pid);
    if (children)
        XFree(children);
    return found;
}

// Milliseconds until the program shows a window, or -1 when it exits or takes longer than 10 s.
double measureOnce(Display *display, char **program)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(program[0], program);
        _exit(127);
    }
    double millis = -1;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (viewableWindowOf(display, DefaultRootWindow(display), pidAtom, pid)) {
            millis = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return -1;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return millis;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: measure_start_to_tray RUNS PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::puts("measure_start_to_tray: skipped, it needs an X display");
        return 0;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<double> millis;
    std::printf("start to first window shown (ms):");
    for (int i = 0; i < runs; ++i) {
        const double value = measureOnce(display, argv + 2);
        if (value < 0) {
            std::printf("\nrun %d: no window within 10 s\n", i + 1);
            return 1;
        }
        millis.push_back(value);
        std::printf(" %.1f", value);
        std::fflush(stdout);
    }
    XCloseDisplay(display);
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\nfirst %.1f  median %.1f  min %.1f  max %.1f\n", millis.front(), sorted[sorted.size() / 2],
                sorted.front(), sorted.back());
    return 0;
}
