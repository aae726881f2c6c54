#pragma once
// The process-wide registry of GLSL programs: creates programs from source
// references, shares identical compiled stages between them, rebuilds everything on
// request so that edited shader files take effect at once, and deletes the GL objects
// at shut-down. GUI thread only, with the GL context current.
#include "GLSLProgram.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class GLSLShader {
public:
    class InvalidArgument : public std::runtime_error {
    public:
        explicit InvalidArgument(const std::string& message) : std::runtime_error(message) {}
    };

    using Sources = std::vector<GLSLSourceFile>;

    static GLSLShader& instance();
    // Deletes every GL program and shader and the registry; the next instance() makes
    // a new one.
    static void destroy();

    // A new program, not yet built, or null when a source file is missing or there is
    // neither a vertex nor a fragment source. Throws InvalidArgument for a name that
    // exists.
    GLSLProgram* create(const std::string& name, const Sources& vertex, const Sources& fragment,
                        const char* header = nullptr, int formatArg = 0);
    // With an automatic name.
    GLSLProgram* create(const Sources& vertex, const Sources& fragment,
                        const char* header = nullptr, int formatArg = 0);
    // Creates and builds, with an automatic name.
    GLSLProgram* createAndBuild(const Sources& vertex, const Sources& fragment,
                                const char* header = nullptr, int formatArg = 0);

    void build(const std::string& name);
    void setHeader(const std::string& name, const char* header);
    // Recompiles every stage (files are read again) and relinks every program whose
    // stages all compiled; the others keep their previous code.
    void reloadAll();

    GLSLProgram* program(const std::string& name) const;
    size_t stageCount(GLenum type) const;

private:
    struct Entry {
        int vertex = -1, fragment = -1;
        std::unique_ptr<GLSLProgram> program;
    };

    friend struct std::default_delete<GLSLShader>;  // the registry's one owner
    GLSLShader() = default;
    ~GLSLShader();
    std::vector<GLSLShaderObject>& stages(GLenum type);
    int findOrAddStage(GLenum type, const Sources& sources, const std::string& header,
                       int formatArg);
    const GLSLShaderObject* stage(GLenum type, int index) const;
    void link(Entry& entry);

    std::map<std::string, Entry> mPrograms;
    std::vector<GLSLShaderObject> mVertexStages, mFragmentStages;
};
