// Prints where each named control sits in the window's client area (pixels at scale 1), from
// the layout table: `panel_point Command1 Text1(1)` prints "Command1 LEFT TOP WIDTH HEIGHT"
// lines. Tests that drive the window from outside (xdotool) click and look there.
#include "frmmain/panel_layout.h"

#include <cstdio>
#include <cstring>

namespace {

const panel::Control* named(const char* name)
{
    for (const panel::Control& c : panel::controls())
        if (std::strcmp(c.name, name) == 0)
            return &c;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const panel::Control* c = named(argv[i]);
        if (!c) {
            std::fprintf(stderr, "panel_point: no control %s\n", argv[i]);
            return 2;
        }
        int x = panel::pixels(c->left);
        int y = panel::pixels(c->top);
        if (const panel::Control* frame = c->parent ? named(c->parent) : nullptr) {
            x += panel::pixels(frame->left);
            y += panel::pixels(frame->top);
        }
        std::printf(
            "%s %d %d %d %d\n", argv[i], x, y, panel::pixels(c->width), panel::pixels(c->height));
    }
    return 0;
}
