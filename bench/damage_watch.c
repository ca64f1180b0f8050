/* Writes one line for every rectangle any client draws on the screen, as the X server's
 * DAMAGE extension reports it on the root window:
 *
 *     SECONDS X Y WIDTH HEIGHT MARKED
 *
 * SECONDS is CLOCK_MONOTONIC when the report arrived (the clock Python's time.monotonic()
 * reads); X Y WIDTH HEIGHT the rectangle on the screen. With --probe the rectangle's pixels
 * are read back and MARKED counts those of the dark green the programs' windows are made
 * of (both the skin and the bare programs' fill); without it MARKED is -1 and the watcher
 * asks the server for nothing, so that it can run beside a measurement.
 *
 *     damage_watch [--probe]
 *
 * Prints "ready" on standard error once it watches. Ends on SIGTERM or SIGINT.
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static volatile sig_atomic_t stopping;

static void stop(int sig) {
    (void)sig;
    stopping = 1;
}

static int ignore_error(Display* display, XErrorEvent* error) {
    (void)display;
    (void)error;
    return 0;
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The same test as the end-to-end checks use for the skin's green. */
static int dark_green(unsigned long pixel, const XImage* image) {
    int r = (int)((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask));
    int g = (int)((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask));
    int b = (int)((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
    return g >= 40 && g <= 200 && g >= r + 30 && g >= b + 30;
}

static long marked_pixels(Display* display, Window root, int x, int y, int w, int h) {
    XImage* image = XGetImage(display, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (image == NULL) {
        return -1;
    }
    long count = 0;
    for (int yy = 0; yy < h; ++yy) {
        for (int xx = 0; xx < w; ++xx) {
            count += dark_green(XGetPixel(image, xx, yy), image);
        }
    }
    XDestroyImage(image);
    return count;
}

int main(int argc, char** argv) {
    int probe = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--probe") == 0) {
            probe = 1;
        } else {
            fprintf(stderr, "usage: damage_watch [--probe]\n");
            return 2;
        }
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = stop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "damage_watch: cannot open the display\n");
        return 1;
    }
    int event_base = 0;
    int error_base = 0;
    if (!XDamageQueryExtension(display, &event_base, &error_base)) {
        fprintf(stderr, "damage_watch: the X server has no DAMAGE extension\n");
        return 1;
    }
    XSetErrorHandler(ignore_error);
    Window root = DefaultRootWindow(display);
    int screen_w = DisplayWidth(display, DefaultScreen(display));
    int screen_h = DisplayHeight(display, DefaultScreen(display));
    XDamageCreate(display, root, XDamageReportRawRectangles);
    XSync(display, False);
    setvbuf(stdout, NULL, _IOLBF, 0);
    fprintf(stderr, "ready\n");

    struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    while (!stopping) {
        if (XPending(display) == 0) {
            if (poll(&connection, 1, 200) < 0 && errno != EINTR) {
                break;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != event_base + XDamageNotify) {
            continue;
        }
        double seen = now();
        const XDamageNotifyEvent* damage = (const XDamageNotifyEvent*)&event;
        int x = damage->area.x;
        int y = damage->area.y;
        int w = damage->area.width;
        int h = damage->area.height;
        if (x < 0) {
            w += x;
            x = 0;
        }
        if (y < 0) {
            h += y;
            y = 0;
        }
        if (x + w > screen_w) {
            w = screen_w - x;
        }
        if (y + h > screen_h) {
            h = screen_h - y;
        }
        if (w <= 0 || h <= 0) {
            continue;
        }
        long marked = probe ? marked_pixels(display, root, x, y, w, h) : -1;
        printf("%.6f %d %d %d %d %ld\n", seen, x, y, w, h, marked);
    }
    XCloseDisplay(display);
    return 0;
}
