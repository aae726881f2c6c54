#include "GLSLShader.h"

#include "GLSLParams.h"
#include "diagnostics.h"

#include <fstream>

namespace {
// The registry, made on first use and deleted by destroy() with its context current.
// One still alive when the process ends is left alone: no context is current then, and
// the parameter sets it would unbind may be gone already.
struct SRegistryHolder {
    std::unique_ptr<GLSLShader> registry;
    ~SRegistryHolder() { static_cast<void>(registry.release()); }
};
SRegistryHolder gInstance;

bool isInline(const GLSLSourceFile& reference) {
    return !reference.empty() && reference[0] == '*';
}

std::string stageName(GLenum type) {
    return type == GL_VERTEX_SHADER ? "Vertex" : "Fragment";
}

std::string headerText(const char* header) {
    std::string text = header ? header : "";
    if (!text.empty() && text.back() != '\n')
        text += '\n';
    return text;
}
}  // namespace

GLSLShader& GLSLShader::instance() {
    if (!gInstance.registry)
        gInstance.registry.reset(new GLSLShader);  // the constructor is private
    return *gInstance.registry;
}

void GLSLShader::destroy() {
    gInstance.registry.reset();
}

GLSLShader::~GLSLShader() {
    // Programs before the stages they were linked from.
    mPrograms.clear();
    mVertexStages.clear();
    mFragmentStages.clear();
    // The parameter sets must not look up programs that are gone.
    unbindAll();
}

std::vector<GLSLShaderObject>& GLSLShader::stages(GLenum type) {
    return type == GL_VERTEX_SHADER ? mVertexStages : mFragmentStages;
}

const GLSLShaderObject* GLSLShader::stage(GLenum type, int index) const {
    if (index < 0)
        return nullptr;
    return &const_cast<GLSLShader*>(this)->stages(type)[size_t(index)];
}

size_t GLSLShader::stageCount(GLenum type) const {
    return const_cast<GLSLShader*>(this)->stages(type).size();
}

GLSLProgram* GLSLShader::program(const std::string& name) const {
    const auto found = mPrograms.find(name);
    return found == mPrograms.end() ? nullptr : found->second.program.get();
}

int GLSLShader::findOrAddStage(GLenum type, const Sources& sources, const std::string& header,
                               int formatArg) {
    std::vector<GLSLShaderObject>& list = stages(type);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].header == header && list[i].formatArg == formatArg &&
            list[i].sources == sources)
            return int(i);
    }
    GLSLShaderObject stage;
    stage.id.reset(glCreateShader(type));
    stage.sources = sources;
    stage.header = header;
    stage.formatArg = formatArg;
    list.push_back(std::move(stage));
    return int(list.size() - 1);
}

GLSLProgram* GLSLShader::create(const std::string& name, const Sources& vertex,
                                const Sources& fragment, const char* header, int formatArg) {
    if (program(name))
        throw InvalidArgument("Shader already exists: " + name);
    for (const Sources* list : {&vertex, &fragment}) {
        for (const GLSLSourceFile& reference : *list) {
            if (isInline(reference))
                continue;
            if (!std::ifstream(reference)) {
                RUV_WARNING("Shader <" + name + ">\nCould not find shader \"" + reference + "\".");
                return nullptr;
            }
        }
    }
    if (vertex.empty() && fragment.empty())
        return nullptr;

    Entry entry;
    entry.program = std::make_unique<GLSLProgram>();
    entry.program->name = name;
    entry.program->id.reset(glCreateProgram());
    const std::string headerCopy = headerText(header);
    if (!vertex.empty())
        entry.vertex = findOrAddStage(GL_VERTEX_SHADER, vertex, headerCopy, formatArg);
    if (!fragment.empty())
        entry.fragment = findOrAddStage(GL_FRAGMENT_SHADER, fragment, headerCopy, formatArg);
    for (const auto& [type, index] : {std::pair<GLenum, int>{GL_VERTEX_SHADER, entry.vertex},
                                      {GL_FRAGMENT_SHADER, entry.fragment}})
        if (index >= 0)
            glAttachShader(entry.program->id.get(), stages(type)[size_t(index)].id.get());

    GLSLProgram* result = entry.program.get();
    if (!mPrograms.emplace(name, std::move(entry)).second)
        throw InvalidArgument("Shader already registered: " + name);
    return result;
}

GLSLProgram* GLSLShader::create(const Sources& vertex, const Sources& fragment, const char* header,
                                int formatArg) {
    return create(newProgramName(), vertex, fragment, header, formatArg);
}

GLSLProgram* GLSLShader::createAndBuild(const Sources& vertex, const Sources& fragment,
                                        const char* header, int formatArg) {
    GLSLProgram* result = create(vertex, fragment, header, formatArg);
    if (result)
        build(result->name);
    return result;
}

void GLSLShader::link(Entry& entry) {
    linkProgram(*entry.program, stage(GL_VERTEX_SHADER, entry.vertex),
                stage(GL_FRAGMENT_SHADER, entry.fragment));
}

void GLSLShader::build(const std::string& name) {
    const auto found = mPrograms.find(name);
    if (found == mPrograms.end())
        return;
    Entry& entry = found->second;
    bool compiled = true;
    for (const auto& [type, index] : {std::pair<GLenum, int>{GL_VERTEX_SHADER, entry.vertex},
                                      {GL_FRAGMENT_SHADER, entry.fragment}}) {
        if (index < 0)
            continue;
        GLSLShaderObject& object = stages(type)[size_t(index)];
        compileStage(object, stageName(type) + " Shader <" + name + ">");
        compiled = compiled && object.compiled;
    }
    if (compiled)
        link(entry);
    consoleMilestoneOnce("shader program " + name + " built");
}

void GLSLShader::setHeader(const std::string& name, const char* header) {
    const auto found = mPrograms.find(name);
    if (found == mPrograms.end())
        return;
    const Entry& entry = found->second;
    for (const auto& [type, index] : {std::pair<GLenum, int>{GL_VERTEX_SHADER, entry.vertex},
                                      {GL_FRAGMENT_SHADER, entry.fragment}})
        if (index >= 0)
            stages(type)[size_t(index)].header = headerText(header);
    build(name);
}

void GLSLShader::reloadAll() {
    for (GLenum type : {GLenum(GL_VERTEX_SHADER), GLenum(GL_FRAGMENT_SHADER)}) {
        for (GLSLShaderObject& object : stages(type)) {
            const std::string last = object.sources.empty() ? "" : object.sources.back();
            compileStage(object, stageName(type) + " Shader <" +
                                     (isInline(last) ? "<inline source>" : last) + ">");
        }
    }
    for (auto& [name, entry] : mPrograms) {
        const GLSLShaderObject* parts[] = {stage(GL_VERTEX_SHADER, entry.vertex),
                                           stage(GL_FRAGMENT_SHADER, entry.fragment)};
        bool compiled = true;
        for (const GLSLShaderObject* part : parts)
            compiled = compiled && (!part || part->compiled);
        // A program with a stage that failed keeps its previous linked code.
        if (compiled)
            link(entry);
    }
    updateAll();
    for (auto* list : {&mVertexStages, &mFragmentStages})
        for (GLSLShaderObject& object : *list)
            object.compiled = 0;
}
