// bench_wait_window: starts a program and times how long it takes to map its
// top-level window, then closes that window with Esc and times the exit.
//
// Usage: bench_wait_window [-t SECONDS] TITLE PROGRAM [ARGS...]
//
// Prints one line on stdout:
//   MAP_NS EXIT_NS STATUS WIDTH HEIGHT
// MAP_NS is the time from just before the program is spawned until the X server
// reports a mapped top-level window titled exactly TITLE; EXIT_NS is the time
// from the same start until the program has exited after Esc; STATUS is its
// exit code (128 + signal if it was killed); WIDTH x HEIGHT is the window's size.
// Exits 0 when that line was printed, 1 on a timeout or an X failure, 2 on bad use.
//
// Polling tools (xdotool search --sync) sleep between searches, which adds a
// delay as large as the start-up being measured. This helper instead listens
// for MapNotify on the root window, so the map time is read off the event as it
// arrives. It needs no window manager: under a bare X server (Xvfb) top-level
// windows are children of the root window, and focus is set directly.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// The window may be destroyed between an event and a request about it (the key
// release that follows the Esc press, for one); such errors are expected.
int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

std::optional<std::string> windowTitle(Display *dpy, Window w, Atom netWmName, Atom utf8)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, w, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data)
                == Success
        && data && type == utf8 && format == 8) {
        std::string title(reinterpret_cast<char *>(data), count);
        XFree(data);
        return title;
    }
    if (data)
        XFree(data);
    XTextProperty text{};
    if (XGetWMName(dpy, w, &text) && text.value) {
        std::string title(reinterpret_cast<char *>(text.value), text.nitems);
        XFree(text.value);
        return title;
    }
    return std::nullopt;
}

// Waits, in slices of at most 20 ms, for the X connection to become readable;
// returns false once the deadline has passed. The slices let the caller notice
// a child that dies without ever mapping a window.
bool waitForX(Display *dpy, long long deadlineNs)
{
    if (XPending(dpy))
        return true;
    const long long left = deadlineNs - nowNs();
    if (left <= 0)
        return false;
    pollfd pfd{ ConnectionNumber(dpy), POLLIN, 0 };
    const int sliceMs = static_cast<int>(std::min<long long>(left / 1000000 + 1, 20));
    poll(&pfd, 1, sliceMs);
    return true;
}

int statusCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 255;
}

} // namespace

int main(int argc, char *argv[])
{
    int argi = 1;
    double timeoutSeconds = 60;
    if (argi + 1 < argc && std::strcmp(argv[argi], "-t") == 0) {
        timeoutSeconds = std::atof(argv[argi + 1]);
        argi += 2;
    }
    if (argc - argi < 2 || timeoutSeconds <= 0) {
        std::fprintf(stderr, "usage: %s [-t SECONDS] TITLE PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const std::string wanted = argv[argi];
    char **childArgv = argv + argi + 1;
    const long long timeoutNs = static_cast<long long>(timeoutSeconds * 1e9);

    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "bench_wait_window: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);
    fcntl(ConnectionNumber(dpy), F_SETFD, FD_CLOEXEC);
    const Atom netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    const Window root = DefaultRootWindow(dpy);
    // Subscribe before the program starts, so its map cannot be missed.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    // The program's own output goes to stderr, keeping stdout for the result line.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t child = 0;
    const long long t0 = nowNs();
    const int err = posix_spawnp(&child, childArgv[0], &actions, nullptr, childArgv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err) {
        std::fprintf(stderr, "bench_wait_window: cannot start %s: %s\n", childArgv[0],
                     std::strerror(err));
        return 1;
    }
    const long long deadline = t0 + timeoutNs;

    auto giveUp = [&](const char *why) {
        std::fprintf(stderr, "bench_wait_window: %s\n", why);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
    };

    // Phase 1: the map. Windows mapped before their title is set are watched for
    // a later title change.
    Window target = None;
    long long tMap = 0;
    std::set<Window> untitled;
    while (target == None) {
        if (!waitForX(dpy, deadline))
            return giveUp("timed out waiting for the window");
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "bench_wait_window: program exited (status %d) without a window\n",
                         statusCode(status));
            return 1;
        }
        while (target == None && XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            const long long seen = nowNs();
            Window candidate = None;
            if (ev.type == MapNotify && ev.xmap.event == root && !ev.xmap.override_redirect) {
                candidate = ev.xmap.window;
            } else if (ev.type == PropertyNotify && untitled.count(ev.xproperty.window)
                       && (ev.xproperty.atom == netWmName || ev.xproperty.atom == XA_WM_NAME)) {
                candidate = ev.xproperty.window;
            } else if (ev.type == UnmapNotify || ev.type == DestroyNotify) {
                untitled.erase(ev.type == UnmapNotify ? ev.xunmap.window
                                                      : ev.xdestroywindow.window);
            }
            if (candidate == None)
                continue;
            if (windowTitle(dpy, candidate, netWmName, utf8) == wanted) {
                target = candidate;
                tMap = seen;
            } else if (ev.type == MapNotify && untitled.insert(candidate).second) {
                XSelectInput(dpy, candidate, PropertyChangeMask);
            }
        }
    }

    XWindowAttributes attrs{};
    XGetWindowAttributes(dpy, target, &attrs);

    // Phase 2: focus the window (the Esc shortcut only fires in the active
    // window), then press and release Esc on it.
    XSelectInput(dpy, target, FocusChangeMask | StructureNotifyMask);
    XSetInputFocus(dpy, target, RevertToPointerRoot, CurrentTime);
    XFlush(dpy);
    bool focused = false;
    while (!focused) {
        if (!waitForX(dpy, deadline))
            return giveUp("timed out waiting for focus");
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == FocusIn && ev.xfocus.window == target)
                focused = true;
        }
    }
    XKeyEvent key{};
    key.display = dpy;
    key.window = target;
    key.root = root;
    key.subwindow = None;
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(dpy, XK_Escape);
    key.type = KeyPress;
    XSendEvent(dpy, target, True, KeyPressMask, reinterpret_cast<XEvent *>(&key));
    key.type = KeyRelease;
    XSendEvent(dpy, target, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&key));
    XFlush(dpy);

    // Phase 3: the exit.
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(child, &status, WNOHANG);
        if (r == child)
            break;
        if (r < 0 && errno != EINTR) {
            std::perror("bench_wait_window: waitpid");
            return 1;
        }
        if (nowNs() > deadline)
            return giveUp("timed out waiting for the program to exit after Esc");
        // Drain events so the connection never backs up, then nap briefly.
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
        }
        usleep(500);
    }
    const long long tExit = nowNs();

    std::printf("%lld %lld %d %d %d\n", tMap - t0, tExit - t0, statusCode(status), attrs.width,
                attrs.height);
    XCloseDisplay(dpy);
    return 0;
}
