#pragma once

#include <vector>

// Xlib kept out of the test sources: its headers define macros (None, Bool, Status...) that clash
// with JUCE's names.
namespace xprobe
{

/** Makes Xlib errors non-fatal for the whole process, as a host's own windowing does. Without a
    window manager some atoms a JUCE peer asks for do not exist, and Xlib's default handler would
    end the process on the first BadAtom. Returns false if there is no X display to talk to.
*/
bool installIgnoringErrorHandler();

struct WindowInfo
{
    unsigned long id = 0;
    int depth = 0; // 1 for a child of the queried window, 2 for a grandchild, ...
    int width = 0, height = 0;
    bool viewable = false; // mapped, and every ancestor is mapped
};

/** Every window below the given one, depth first, as the X server sees them. */
std::vector<WindowInfo> descendantsOf (unsigned long windowId);

} // namespace xprobe
