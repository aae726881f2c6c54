#pragma once
// What the GL framework needs from the window that hosts it. The framework knows no
// widget toolkit; the host widget implements this, and tests implement it with an
// off-screen framebuffer.
#include <string>

class CAppHost {
public:
    virtual ~CAppHost() = default;

    // The framebuffer that stands for "the screen" when no framebuffer object of the
    // framework is bound. Asked for afresh each frame: the host may recreate it.
    virtual unsigned defaultFramebuffer() const = 0;
    // Size of the screen the window is on, in device pixels.
    virtual int screenWidth() const = 0;
    virtual int screenHeight() const = 0;
    // Ask for a new frame to be drawn soon.
    virtual void requestRepaint() = 0;
    // Synchronise buffer swaps with the display refresh (interval 1) or not (0).
    // Returns an empty text when granted, else what failed.
    virtual std::string setSwapInterval(int interval) = 0;
};
