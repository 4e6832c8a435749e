/*
 * xclose - asks an X window to close the way a window manager does: it sends the window
 * a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW (the close box's request).
 * Usage: xclose <window id>
 */
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

// Xlib's default handler exits with status 1 and a terse line; this one says which request
// failed and why, and lets main report it.
static int g_x_error = 0;

static int report_x_error(Display *display, XErrorEvent *error)
{
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    fprintf(stderr, "xclose: X error on request %d (resource 0x%lx): %s\n", error->request_code,
            error->resourceid, text);
    g_x_error = error->error_code;
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: xclose <window id>\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "xclose: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(report_x_error);
    Window window = Window(strtoul(argv[1], nullptr, 0));
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status ok = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    if (!ok)
        fprintf(stderr, "xclose: the event could not be sent\n");
    return ok && !g_x_error ? 0 : 1;
}
