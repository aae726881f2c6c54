#include "glh.h"

#include <cstdio>
#include <sstream>

namespace {
std::string gUnsupported;

bool supported(const std::string& name) {
    int major = 0, minor = 0;
    char rest = 0;
    if (std::sscanf(name.c_str(), "GL_VERSION_%d_%d%c", &major, &minor, &rest) == 2) {
        // Desktop GL only: an ES context of version 2.0 has none of the fixed pipeline.
        return epoxy_is_desktop_gl() && epoxy_gl_version() >= 10 * major + minor;
    }
    return epoxy_has_gl_extension(name.c_str());
}
}  // namespace

std::vector<std::string> glhUnsupported(const std::string& list) {
    std::vector<std::string> missing;
    std::istringstream words(list);
    std::string name;
    while (words >> name) {
        if (!supported(name))
            missing.push_back(name);
    }
    return missing;
}

bool glhInit(const char* list) {
    gUnsupported.clear();
    for (const std::string& name : glhUnsupported(list ? list : "")) {
        if (!gUnsupported.empty())
            gUnsupported += ' ';
        gUnsupported += name;
    }
    return gUnsupported.empty();
}

const std::string& glhGetUnsupported() {
    return gUnsupported;
}
