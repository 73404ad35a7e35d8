#include "XWindowProbe.h"

#include <X11/Xlib.h>

#include <memory>

namespace xprobe
{
namespace
{
int ignoreError (Display*, XErrorEvent*) { return 0; }

struct DisplayCloser
{
    void operator() (Display* display) const { XCloseDisplay (display); }
};

using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

void collectChildren (Display* display, Window parent, int depth, std::vector<WindowInfo>& found)
{
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int numChildren = 0;

    if (XQueryTree (display, parent, &root, &parentOfParent, &children, &numChildren) == 0)
        return;

    for (unsigned int i = 0; i < numChildren; ++i)
    {
        XWindowAttributes attributes {};

        if (XGetWindowAttributes (display, children[i], &attributes) == 0)
            continue;

        found.push_back (
            { children[i], depth, attributes.width, attributes.height, attributes.map_state == IsViewable });
        collectChildren (display, children[i], depth + 1, found);
    }

    if (children != nullptr)
        XFree (children);
}
} // namespace

bool installIgnoringErrorHandler()
{
    DisplayPtr display (XOpenDisplay (nullptr));

    if (display == nullptr)
        return false;

    XSetErrorHandler (ignoreError);
    return true;
}

std::vector<WindowInfo> descendantsOf (unsigned long windowId)
{
    std::vector<WindowInfo> found;

    // A connection of our own, so the query does not interleave with JUCE's requests.
    if (DisplayPtr display { XOpenDisplay (nullptr) })
        collectChildren (display.get(), (Window) windowId, 1, found);

    return found;
}

} // namespace xprobe
