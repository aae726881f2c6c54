// Building one program: the strings a stage is given, the annotated driver logs, the
// format argument, and the uniform list of a linked program, on real GL.
#include "GLSLShader.h"
#include "GLTestContext.h"
#include "tempfolder.h"

#include <gmock/gmock.h>

#include <regex>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
std::vector<uint8_t> toBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string shaderSource(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_SHADER_SOURCE_LENGTH, &length);
    std::string text(size_t(std::max(length, 1)), '\0');
    glGetShaderSource(shader, length, nullptr, &text[0]);
    text.resize(size_t(std::max(length - 1, 0)));
    return text;
}

// What follows the "<file>(<line>) WARNING: " of a console warning raised in
// GLSLProgram.cpp; the whole message, marked, when it is no such warning.
std::string warningText(const std::string& message) {
    static const std::regex form("^([^\n]*)\\(([0-9]+)\\) WARNING: ");
    std::smatch match;
    const std::string source = "GLSLProgram.cpp";
    if (!std::regex_search(message, match, form) || match[1].length() < long(source.size()) ||
        match[1].str().compare(size_t(match[1].length()) - source.size(), source.size(), source) !=
            0)
        return "<no warning> " + message;
    return match.suffix();
}

class GLSLProgramTest : public GLTest {
protected:
    void TearDown() override { GLSLShader::destroy(); }
};
}  // namespace

TEST(GLSLLogs, NumberedLinesNameTheirSource) {
    const std::vector<GLSLSourceFile> sources = {"common.glsl", "stereo.fs"};
    EXPECT_EQ(annotateLog("0:3(5): error: a\n1:7(2): error: b\nno number\n12:1: c", sources),
              "common.glsl:3(5): error: a\nstereo.fs:7(2): error: b\nno number\n12:1: c");
    EXPECT_EQ(annotateLog("0:1 x\n", {"*void main(){}"}), "<inline source>:1 x\n");

    GLSLShaderObject vertex, fragment;
    vertex.sources = {"a.vs"};
    fragment.sources = {"b.fs", "c.fs"};
    EXPECT_EQ(annotateProgramLog("0:1 before\nVertex info\n0:2 v\nFragment info\n1:3 f\n", &vertex,
                                 &fragment),
              "0:1 before\nVertex info\na.vs:2 v\nFragment info\nc.fs:3 f\n");
}

TEST(GLSLNames, AutomaticNamesCountFromZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto firstThree = [] {
        const bool ok = newProgramName() == "shaderProg0000" &&
                        newProgramName() == "shaderProg0001" &&
                        newProgramName() == "shaderProg0002";
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(firstThree(), testing::ExitedWithCode(0), "");
}

TEST(GLSLSources, InlineAndFileReferences) {
    std::string text;
    EXPECT_TRUE(loadSource("*void main() {}", text));
    EXPECT_EQ(text, "void main() {}");
    EXPECT_TRUE(loadSource(kGrayFs, text));
    EXPECT_THAT(text, HasSubstr("0.59"));
    CaptureStderr();
    EXPECT_FALSE(loadSource("no/such.fs", text));
    EXPECT_EQ(warningText(GetCapturedStderr()),
              "GLSLShader:  Could not open shader source \"no/such.fs\".\n");
}

TEST_F(GLSLProgramTest, StageStringsWithAndWithoutHeader) {
    GLSLShaderObject stage;
    stage.id.reset(glCreateShader(GL_FRAGMENT_SHADER));
    stage.sources = {"*vec4 colour() { return vec4(1.0); }\n",
                     "*void main() { gl_FragColor = colour(); }\n"};
    compileStage(stage, "Fragment Shader <t>");
    EXPECT_EQ(stage.compiled, 1);
    // No header: the first source and the directive of the second, nothing before.
    EXPECT_EQ(shaderSource(stage.id.get()),
              "vec4 colour() { return vec4(1.0); }\n#line 0 1\n"
              "void main() { gl_FragColor = colour(); }\n");

    stage.header = "#define ONE 1\n";
    compileStage(stage, "Fragment Shader <t>");
    EXPECT_EQ(shaderSource(stage.id.get()),
              "#define ONE 1\n#line 0 0\nvec4 colour() { return vec4(1.0); }\n#line 0 1\n"
              "void main() { gl_FragColor = colour(); }\n");
}

TEST_F(GLSLProgramTest, FormatArgumentReplacesOnlyIntegerConversions) {
    GLSLShaderObject stage;
    stage.id.reset(glCreateShader(GL_FRAGMENT_SHADER));
    stage.sources = {"*// 100% %s %n\nconst int n = %d; void main() { gl_FragColor = vec4(n); }\n"};
    compileStage(stage, "f");
    EXPECT_EQ(stage.compiled, 0);  // "%d" is no GLSL
    stage.formatArg = 5;
    compileStage(stage, "f");
    EXPECT_EQ(stage.compiled, 1);
    EXPECT_EQ(shaderSource(stage.id.get()),
              "// 100% %s %n\nconst int n = 5; void main() { gl_FragColor = vec4(n); }\n");
}

TEST_F(GLSLProgramTest, CompileFailureNamesTheStageAndTheFileOfTheLine) {
    CTempFolder folder;
    const std::string main = folder.path("main.fs");
    writeBytes(main, toBytes("void main() {\n  gl_FragColor = undefinedThing;\n}\n"));
    GLSLShaderObject stage;
    stage.id.reset(glCreateShader(GL_FRAGMENT_SHADER));
    stage.sources = {main};
    CaptureStderr();
    compileStage(stage, "Fragment Shader <broken>");
    const std::string log = warningText(GetCapturedStderr());
    EXPECT_EQ(stage.compiled, 0);
    // The compiler's own log follows the warning as plain text.
    EXPECT_THAT(log, testing::StartsWith("Fragment Shader <broken>: Failed to compile\n"));
    EXPECT_THAT(log.substr(log.find('\n')), testing::Not(HasSubstr("WARNING")));
    // The driver's "0:2(..)" names the file instead of the source number. (Mesa keeps
    // the source number 0 after a "#line 0 k" directive, so the mapping of later
    // sources is checked on the log text above.)
    EXPECT_THAT(log, HasSubstr("\n" + main + ":2("));
    EXPECT_THAT(log, HasSubstr("undefinedThing"));
}

TEST_F(GLSLProgramTest, UniformListSkipsBuiltInsButNotShortNames) {
    GLSLShader& registry = GLSLShader::instance();
    GLSLProgram* program = registry.createAndBuild(
        {"*void main() { gl_Position = gl_ModelViewMatrix * gl_Vertex; }\n"},
        {"*uniform vec4 gl; uniform vec4 colour;\n"
         "void main() { gl_FragColor = gl + colour; }\n"});
    ASSERT_NE(program, nullptr);
    std::vector<std::string> names;
    for (const auto& uniform : program->uniforms) {
        names.push_back(uniform.first);
        EXPECT_EQ(uniform.second, glGetUniformLocation(program->id.get(), uniform.first.c_str()));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"colour", "gl"}));
}

TEST_F(GLSLProgramTest, LinkFailureWarnsAndLeavesTheLinkerLogPlain) {
    GLSLShaderObject vertex, fragment;
    vertex.id.reset(glCreateShader(GL_VERTEX_SHADER));
    vertex.sources = {"*void main() { gl_Position = gl_Vertex; }\n"};
    fragment.id.reset(glCreateShader(GL_FRAGMENT_SHADER));
    // Compiles, but nothing defines the function: only the linker finds that.
    fragment.sources = {
        "*vec4 undefinedColour();\nvoid main() { gl_FragColor = undefinedColour(); }\n"};
    compileStage(vertex, "Vertex Shader <unlinked>");
    compileStage(fragment, "Fragment Shader <unlinked>");
    ASSERT_EQ(vertex.compiled, 1);
    ASSERT_EQ(fragment.compiled, 1);

    GLSLProgram program;
    program.name = "unlinked";
    program.id.reset(glCreateProgram());
    glAttachShader(program.id.get(), vertex.id.get());
    glAttachShader(program.id.get(), fragment.id.get());
    CaptureStderr();
    EXPECT_FALSE(linkProgram(program, &vertex, &fragment));
    const std::string log = warningText(GetCapturedStderr());
    EXPECT_THAT(log, testing::StartsWith("Shader Program <unlinked>: Failed to link.\n"
                                         "Shader <unlinked>: \n"));
    EXPECT_THAT(log, HasSubstr("undefinedColour"));
    EXPECT_THAT(log.substr(log.find('\n')), testing::Not(HasSubstr("WARNING")));
    EXPECT_TRUE(program.uniforms.empty());
}
