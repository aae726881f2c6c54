#pragma once
// GL diagnostics and the one-time GL start-up of the process.
#include "glh.h"
#include "diagnostics.h"

class CAppHost;

// What the program cannot draw without, and what only improves quality.
extern const char* const kRequiredGLFeatures;
extern const char* const kOptionalGLFeatures;

// Symbolic name of a GL error code, "UNKNOWN" for codes outside the classic six.
const char* glErrorName(unsigned code);

// Fetches one GL error and, if there is one, prints "<file>(<line>): GLError <name>" in
// red on the console.
void checkGLError(const char* file, int line);
#define RUV_CHECK_GL() checkGLError(__FILE__, __LINE__)

// Prints the feature report block when a name of the list is unsupported: as an
// error when the features are required, as a warning otherwise. Returns whether all
// names are supported.
bool reportGLFeatures(const char* list, bool required);

// The GL start-up, run by the host with its context current. The first call checks
// the features (false, after naming the missing ones, when a required one is missing:
// the host decides what then), sets the fixed GL state and asks the host for
// synchronised swaps; later calls after a success return true at once.
bool initGLHelper(CAppHost& host, const char* required = kRequiredGLFeatures,
                  const char* optional = kOptionalGLFeatures);

// Asks the host for the swap interval; warns, naming what failed, when refused.
void setSwapInterval(CAppHost& host, int interval);
