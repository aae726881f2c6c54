#include "GLSLProgram.h"

#include "diagnostics.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace {
// How a source shows in messages: its file name, or a short note for inline text,
// whose whole text would bury the message.
std::string sourceLabel(const GLSLSourceFile& reference) {
    if (!reference.empty() && reference[0] == '*')
        return "<inline source>";
    return reference;
}

// printf-style formatting of a shader text with one int argument, limited to integer
// conversions: a shader text is no trusted format string, and "%s" or "%n" in it must
// not read or write memory. Other conversions stay as they are.
std::string formatWithInt(const std::string& text, int value) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && std::strchr("-+ #0", text[end]))
            ++end;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end < text.size() && text[end] == '.') {
            ++end;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                ++end;
        }
        const std::string conversion = text.substr(i, end + 1 - i);
        if (end < text.size() && std::strchr("diuxXo", text[end]) && conversion.size() < 32) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, conversion.c_str(), value);
            out += buffer;
            i = end;
        } else {
            out += '%';
        }
    }
    return out;
}

std::string infoLog(GLuint object, bool program) {
    GLint length = 0;
    if (program)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return std::string();
    std::string log(size_t(length), '\0');
    if (program)
        glGetProgramInfoLog(object, length, nullptr, &log[0]);
    else
        glGetShaderInfoLog(object, length, nullptr, &log[0]);
    log.resize(std::strlen(log.c_str()));
    return log;
}

void reportProgramLog(const GLSLProgram& program, const GLSLShaderObject* vertex,
                      const GLSLShaderObject* fragment) {
    const std::string log = infoLog(program.id.get(), true);
    if (log.empty() ||
        log.compare(0, 51, "Fragment shader(s) linked, vertex shader(s) linked.") == 0 ||
        log.compare(0, 51, "Vertex shader(s) linked, fragment shader(s) linked.") == 0)
        return;
    consoleLine("Shader <" + program.name + ">: \n" + annotateProgramLog(log, vertex, fragment));
}

void queryActive(GLuint program, bool uniforms, bool print,
                 std::vector<std::pair<std::string, GLint>>& list) {
    list.clear();
    GLint count = 0, longest = 0;
    glGetProgramiv(program, uniforms ? GL_ACTIVE_UNIFORMS : GL_ACTIVE_ATTRIBUTES, &count);
    glGetProgramiv(program,
                   uniforms ? GL_ACTIVE_UNIFORM_MAX_LENGTH : GL_ACTIVE_ATTRIBUTE_MAX_LENGTH,
                   &longest);
    // Long names must not be cut: a cut name finds no location.
    std::vector<char> name(size_t(std::max(longest, 50)) + 1);
    for (GLint i = 0; i < count; ++i) {
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        if (uniforms)
            glGetActiveUniform(program, GLuint(i), GLsizei(name.size()), &length, &size, &type,
                               name.data());
        else
            glGetActiveAttrib(program, GLuint(i), GLsizei(name.size()), &length, &size, &type,
                              name.data());
        const std::string text(name.data(), size_t(length));
        if (print) {
            std::ostringstream line;
            line << (uniforms ? "Uniform " : "Attribute ") << std::setw(2) << i << "    " << text
                 << " (" << size << ")";
            consoleLine(line.str());
        }
        if (text.size() >= 3 && text.compare(0, 3, "gl_") == 0)
            continue;
        list.emplace_back(text, uniforms ? glGetUniformLocation(program, text.c_str())
                                         : glGetAttribLocation(program, text.c_str()));
    }
}
}  // namespace

void GLSLProgram::queryUniforms(bool print) {
    queryActive(id.get(), true, print, uniforms);
}

void GLSLProgram::queryAttributes(bool print) {
    queryActive(id.get(), false, print, attributes);
}

bool loadSource(const GLSLSourceFile& reference, std::string& text) {
    if (!reference.empty() && reference[0] == '*') {
        text = reference.substr(1);
        return true;
    }
    std::ifstream file(reference, std::ios::binary);
    if (!file) {
        RUV_WARNING("GLSLShader:  Could not open shader source \"" + reference + "\".");
        text.clear();
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return true;
}

void compileStage(GLSLShaderObject& stage, const std::string& label) {
    // header, then per source a #line directive and the text: the directive makes the
    // driver number its log lines by source, which annotateLog turns into file names.
    std::vector<std::string> parts;
    parts.push_back(stage.header);
    for (size_t i = 0; i < stage.sources.size(); ++i) {
        parts.push_back("#line 0 " + std::to_string(i) + "\n");
        std::string text;
        loadSource(stage.sources[i], text);  // a vanished file compiles as empty text
        parts.push_back(stage.formatArg > 0 ? formatWithInt(text, stage.formatArg) : text);
    }
    // Without a header neither it nor the first directive is passed, so that the first
    // source may start with a #version line.
    const size_t first = stage.header.empty() ? 2 : 0;
    std::vector<const GLchar*> strings;
    for (size_t i = first; i < parts.size(); ++i)
        strings.push_back(parts[i].c_str());
    glShaderSource(stage.id.get(), GLsizei(strings.size()), strings.data(), nullptr);
    glCompileShader(stage.id.get());

    GLint status = 0;
    glGetShaderiv(stage.id.get(), GL_COMPILE_STATUS, &status);
    stage.compiled = status;
    if (!status)
        RUV_WARNING(label + ": Failed to compile");
    const std::string log = infoLog(stage.id.get(), false);
    if (log.empty() || log == "Fragment shader was successfully compiled to run on hardware.\n" ||
        log == "Fragment shader was successfully compiled to run on hardware." ||
        log == "Vertex shader was successfully compiled to run on hardware.\n")
        return;
    consoleLine(annotateLog(log, stage.sources));
}

bool linkProgram(GLSLProgram& program, const GLSLShaderObject* vertex,
                 const GLSLShaderObject* fragment) {
    glLinkProgram(program.id.get());
    GLint status = 0;
    glGetProgramiv(program.id.get(), GL_LINK_STATUS, &status);
    if (!status) {
        RUV_WARNING("Shader Program <" + program.name + ">: Failed to link.");
        reportProgramLog(program, vertex, fragment);
        return false;
    }
    reportProgramLog(program, vertex, fragment);
    glValidateProgram(program.id.get());
    glGetProgramiv(program.id.get(), GL_VALIDATE_STATUS, &status);
    if (!status) {
        RUV_WARNING("Shader Program <" + program.name + ">: Failed to validate.");
        return false;
    }
    program.queryUniforms(false);
    program.queryAttributes(false);
    return true;
}

namespace {
// Appends one log line, with a leading source number replaced by that source's name.
void annotateLine(std::string& out, const std::string& line,
                  const std::vector<GLSLSourceFile>* sources) {
    size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])))
        ++digits;
    if (digits == 0 || digits > 9) {
        out += line;
        return;
    }
    const size_t k = std::stoul(line.substr(0, digits));
    // Without a stage to refer to, or with a number that is no source of ours, the
    // line stays as the driver wrote it.
    if (!sources || k >= sources->size()) {
        out += line;
        return;
    }
    out += sourceLabel((*sources)[k]);
    out += line.substr(digits);
}

std::vector<std::string> splitLines(const std::string& log) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < log.size()) {
        const size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(log.substr(start));
            break;
        }
        lines.push_back(log.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}
}  // namespace

std::string annotateLog(const std::string& log, const std::vector<GLSLSourceFile>& sources) {
    std::string out;
    for (const std::string& line : splitLines(log))
        annotateLine(out, line, &sources);
    return out;
}

std::string annotateProgramLog(const std::string& log, const GLSLShaderObject* vertex,
                               const GLSLShaderObject* fragment) {
    std::string out;
    const std::vector<GLSLSourceFile>* sources = nullptr;
    for (const std::string& line : splitLines(log)) {
        if (line.compare(0, 11, "Vertex info") == 0)
            sources = vertex ? &vertex->sources : nullptr;
        else if (line.compare(0, 13, "Fragment info") == 0)
            sources = fragment ? &fragment->sources : nullptr;
        annotateLine(out, line, sources);
    }
    return out;
}

std::string newProgramName() {
    static int counter = 0;
    std::ostringstream name;
    name << "shaderProg" << std::setw(4) << std::setfill('0') << counter++;
    return name.str();
}
