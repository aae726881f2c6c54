// The registry on real GL: stage sharing, names, missing files, and reloads of edited
// shader files, checked on the pixels that the programs draw.
#include "GLSLParams.h"
#include "GLSLShader.h"
#include "GLTestContext.h"
#include "tempfolder.h"

#include <gmock/gmock.h>

#include <regex>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
const char* const kVertex = "*void main() { gl_Position = ftransform(); }\n";

std::string colourShader(const char* colour) {
    return std::string("uniform float unused;\nvoid main() { gl_FragColor = vec4(") + colour +
           "); }\n";
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// What follows the "<file>(<line>) WARNING: " of a console warning raised in source;
// the whole message, marked, when it is no such warning.
std::string warningText(const std::string& message, const std::string& source) {
    static const std::regex form("^([^\n]*)\\(([0-9]+)\\) WARNING: ");
    std::smatch match;
    if (!std::regex_search(message, match, form) || match[1].length() < long(source.size()) ||
        match[1].str().compare(size_t(match[1].length()) - source.size(), source.size(), source) !=
            0)
        return "<no warning> " + message;
    return match.suffix();
}

// Draws a full quad with the program and returns the centre pixel.
RGBA drawWith(GLSLProgram* program, const TestFramebuffer& fb) {
    fb.bind();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(program->id.get());
    drawRect(-1, -1, 1, 1, 1, 1, 1);
    glUseProgram(0);
    return fb.pixel(fb.width() / 2, fb.height() / 2);
}

struct STwoParams : GLSLParamsContainer {
    int first = -2, second = -2, position = -2;
    void declare(BindingTable& table) override {
        table.uniform("first", &first);
        table.uniform("second", &second);
        table.attribute("position", &position);
    }
};

class Registry : public GLTest {
protected:
    void TearDown() override { GLSLShader::destroy(); }
    GLSLShader& registry = GLSLShader::instance();
    CTempFolder folder;
};
}  // namespace

TEST_F(Registry, StagesAreSharedUnlessHeaderOrFormatDiffer) {
    const std::string red = "*" + colourShader("1.0, 0.0, 0.0, 1.0");
    const std::string blue = "*" + colourShader("0.0, 0.0, 1.0, 1.0");
    ASSERT_NE(registry.create("a", {kVertex}, {red}), nullptr);
    ASSERT_NE(registry.create("b", {kVertex}, {blue}), nullptr);
    EXPECT_EQ(registry.stageCount(GL_VERTEX_SHADER), 1u);
    EXPECT_EQ(registry.stageCount(GL_FRAGMENT_SHADER), 2u);

    ASSERT_NE(registry.create("c", {kVertex}, {red}, "#define X"), nullptr);
    ASSERT_NE(registry.create("d", {kVertex}, {red}, nullptr, 3), nullptr);
    EXPECT_EQ(registry.stageCount(GL_VERTEX_SHADER), 3u);
    EXPECT_EQ(registry.stageCount(GL_FRAGMENT_SHADER), 4u);

    TestFramebuffer fb(8, 8);
    registry.build("a");
    registry.build("b");
    EXPECT_EQ(drawWith(registry.program("a"), fb), (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(drawWith(registry.program("b"), fb), (RGBA{0, 0, 255, 255}));
}

TEST_F(Registry, DestroyDeletesEveryProgramAndStage) {
    GLSLProgram* program =
        registry.createAndBuild({kVertex}, {"*" + colourShader("1.0, 0.0, 0.0, 1.0")});
    ASSERT_NE(program, nullptr);
    const GLuint id = program->id.get();
    GLuint stages[2] = {};
    GLsizei count = 0;
    glGetAttachedShaders(id, 2, &count, stages);
    ASSERT_EQ(count, 2);
    GLSLShader::destroy();
    EXPECT_FALSE(glIsProgram(id));
    EXPECT_FALSE(glIsShader(stages[0]));
    EXPECT_FALSE(glIsShader(stages[1]));
}

TEST_F(Registry, DuplicateNamesThrowAndCreateNothing) {
    ASSERT_NE(registry.create("twice", {kVertex}, {"*" + colourShader("1.0")}), nullptr);
    const size_t fragments = registry.stageCount(GL_FRAGMENT_SHADER);
    try {
        registry.create("twice", {kVertex}, {"*" + colourShader("0.5")});
        FAIL() << "no exception";
    } catch (const GLSLShader::InvalidArgument& e) {
        EXPECT_STREQ(e.what(), "Shader already exists: twice");
    }
    EXPECT_EQ(registry.stageCount(GL_FRAGMENT_SHADER), fragments);
}

TEST_F(Registry, MissingFilesAndEmptyListsGiveNoProgram) {
    CaptureStderr();
    EXPECT_EQ(registry.create("lost", {kVertex}, {folder.path("missing.fs")}), nullptr);
    EXPECT_EQ(warningText(GetCapturedStderr(), "GLSLShader.cpp"),
              "Shader <lost>\nCould not find shader \"" + folder.path("missing.fs") + "\".\n");
    EXPECT_EQ(registry.program("lost"), nullptr);
    EXPECT_EQ(registry.create("empty", {}, {}), nullptr);

    // Automatic names differ.
    GLSLProgram* one = registry.create({kVertex}, {"*" + colourShader("1.0")});
    GLSLProgram* two = registry.create({kVertex}, {"*" + colourShader("1.0")});
    ASSERT_TRUE(one && two);
    EXPECT_NE(one->name, two->name);
    EXPECT_THAT(one->name, testing::MatchesRegex("shaderProg[0-9]{4}"));
}

TEST_F(Registry, ReloadRunsTheEditedFileAndKeepsOldCodeWhenAStageFails) {
    const std::string file = folder.path("tint.fs");
    writeText(file, colourShader("1.0, 0.0, 0.0, 1.0"));
    GLSLProgram* edited = registry.createAndBuild({kVertex}, {file});
    GLSLProgram* other =
        registry.createAndBuild({kVertex}, {"*" + colourShader("0.0, 0.0, 1.0, 1.0")});
    ASSERT_TRUE(edited && other);
    TestFramebuffer fb(8, 8);
    EXPECT_EQ(drawWith(edited, fb), (RGBA{255, 0, 0, 255}));

    writeText(file, colourShader("0.0, 1.0, 0.0, 1.0"));
    registry.reloadAll();
    EXPECT_EQ(drawWith(edited, fb), (RGBA{0, 255, 0, 255}));

    writeText(file, "void main() { this is no GLSL }\n");
    CaptureStderr();
    registry.reloadAll();
    const std::string log = warningText(GetCapturedStderr(), "GLSLProgram.cpp");
    EXPECT_THAT(log, testing::StartsWith("Fragment Shader <" + file + ">: Failed to compile\n"));
    EXPECT_THAT(log, HasSubstr(file + ":1("));  // the driver's line, with the file's name
    EXPECT_EQ(drawWith(edited, fb), (RGBA{0, 255, 0, 255}));  // the previous code
    EXPECT_EQ(drawWith(other, fb), (RGBA{0, 0, 255, 255}));

    writeText(file, colourShader("1.0, 1.0, 1.0, 1.0"));
    registry.reloadAll();
    EXPECT_EQ(drawWith(edited, fb), (RGBA{255, 255, 255, 255}));
}

TEST_F(Registry, ParameterLocationsFollowARelink) {
    const std::string file = folder.path("params.fs");
    writeText(file,
              "uniform vec4 first; uniform vec4 second;\n"
              "void main() { gl_FragColor = first + second; }\n");
    const std::string vertex = folder.path("params.vs");
    writeText(vertex, "attribute vec4 position;\nvoid main() { gl_Position = position; }\n");
    GLSLProgram* program = registry.createAndBuild({vertex}, {file});
    ASSERT_NE(program, nullptr);
    STwoParams params;
    BindingTable table(params);
    bind(program, &table);
    updateAll();
    EXPECT_EQ(params.first, glGetUniformLocation(program->id.get(), "first"));
    EXPECT_EQ(params.second, glGetUniformLocation(program->id.get(), "second"));
    EXPECT_EQ(params.position, glGetAttribLocation(program->id.get(), "position"));
    EXPECT_GE(params.first, 0);
    EXPECT_GE(params.second, 0);

    // Reordered, one dropped, one added: each field holds its own name's location.
    writeText(file,
              "uniform vec4 extra; uniform vec4 second;\n"
              "void main() { gl_FragColor = second * extra; }\n");
    registry.reloadAll();
    EXPECT_EQ(params.first, -1);
    EXPECT_EQ(params.second, glGetUniformLocation(program->id.get(), "second"));
    EXPECT_GE(params.second, 0);

    // Binding the program again replaces the table; unbinding stops the updates.
    STwoParams later;
    BindingTable laterTable(later);
    bind(program, &laterTable);
    updateAll();
    EXPECT_EQ(later.second, params.second);
    params.second = 99;
    updateAll();
    EXPECT_EQ(params.second, 99);
    unbind(&laterTable);
}

TEST_F(Registry, HeaderChangeRebuildsTheProgram) {
    GLSLProgram* program =
        registry.create("switch", {kVertex},
                        {"*void main() {\n#ifdef GREEN\n gl_FragColor = vec4(0,1,0,1);\n#else\n"
                         " gl_FragColor = vec4(1,0,0,1);\n#endif\n}\n"});
    ASSERT_NE(program, nullptr);
    registry.build("switch");
    TestFramebuffer fb(4, 4);
    EXPECT_EQ(drawWith(program, fb), (RGBA{255, 0, 0, 255}));
    registry.setHeader("switch", "#define GREEN");
    EXPECT_EQ(drawWith(program, fb), (RGBA{0, 255, 0, 255}));
    registry.setHeader("nothing", "#define X");  // unknown: nothing happens
}
