#pragma once
// The one header through which every GL source file gets OpenGL. It must come
// before any Qt header: the loader's declarations then take the place of the
// system's gl.h, and Qt's GL classes compile against them.
#include <epoxy/gl.h>

#include <string>
#include <vector>

// Names of a space-separated list of "GL_VERSION_a_b" and extension names that the
// current context does not support, in the order of the list.
std::vector<std::string> glhUnsupported(const std::string& list);

// Checks a feature list for the current context. Returns false when any name is
// unsupported; glhGetUnsupported() then lists those names, space separated.
// libepoxy resolves entry points on first use, so there is nothing else to set up.
bool glhInit(const char* list);
const std::string& glhGetUnsupported();
