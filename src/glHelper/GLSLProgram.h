#pragma once
// One GLSL program put together from source references: compiled stages, linking,
// validation, driver logs annotated with the source each line refers to, and the
// active uniforms and attributes of the linked program.
#include "glObject.h"

#include <string>
#include <utility>
#include <vector>

// A source reference is either a shader file name or '*' followed by the text itself.
using GLSLSourceFile = std::string;

// One compiled stage; the registry shares it between the programs that use the same
// sources with the same header and format argument.
struct GLSLShaderObject {
    CGLShader id;
    std::vector<GLSLSourceFile> sources;
    std::string header;  // placed before all sources, ends with a line end unless empty
    int compiled = 0;    // the last GL_COMPILE_STATUS
    int formatArg = 0;   // > 0: each source text is a printf format with this one int
};

class GLSLProgram {
public:
    CGLProgram id;
    std::vector<std::pair<std::string, GLint>> uniforms;
    std::vector<std::pair<std::string, GLint>> attributes;
    std::string name;

    // Fill the two lists from the linked program; print lists them on the console.
    void queryUniforms(bool print);
    void queryAttributes(bool print);
};

// The text of a source reference: the text after '*', or the file's contents. False,
// after a message, when the file cannot be read.
bool loadSource(const GLSLSourceFile& reference, std::string& text);

// Assembles, compiles and reports one stage. label names it in messages, such as
// "Vertex Shader <name>".
void compileStage(GLSLShaderObject& stage, const std::string& label);

// Links and validates a program whose stages compiled. Either stage may be null.
bool linkProgram(GLSLProgram& program, const GLSLShaderObject* vertex,
                 const GLSLShaderObject* fragment);

// A driver log with every line that starts with a source number k given the reference
// of source k instead. The numbers come from the #line directives of the assembled
// stage.
std::string annotateLog(const std::string& log, const std::vector<GLSLSourceFile>& sources);
// The same for a program log, whose "Vertex info" and "Fragment info" lines select the
// stage whose sources the numbered lines refer to.
std::string annotateProgramLog(const std::string& log, const GLSLShaderObject* vertex,
                               const GLSLShaderObject* fragment);

// "shaderProg0000", "shaderProg0001", ...: distinct names for unnamed programs.
std::string newProgramName();
