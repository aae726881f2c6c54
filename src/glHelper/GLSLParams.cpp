#include "GLSLParams.h"

#include "GLSLProgram.h"

#include <cstring>

namespace {
std::vector<std::pair<GLSLProgram*, BindingTable*>>& bindings() {
    static std::vector<std::pair<GLSLProgram*, BindingTable*>> list;
    return list;
}

void resolve(const std::vector<std::pair<const char*, int*>>& names,
             const std::vector<std::pair<std::string, GLint>>& active) {
    for (const auto& name : names)
        *name.second = -1;
    for (const auto& entry : active) {
        for (const auto& name : names) {
            if (std::strcmp(name.first, entry.first.c_str()) == 0) {
                *name.second = entry.second;
                break;
            }
        }
    }
}
}  // namespace

void bind(GLSLProgram* program, BindingTable* table) {
    if (!program)
        return;
    for (auto& binding : bindings()) {
        if (binding.first == program) {
            binding.second = table;
            return;
        }
    }
    bindings().emplace_back(program, table);
}

void unbind(BindingTable* table) {
    auto& list = bindings();
    for (size_t i = 0; i < list.size();) {
        if (list[i].second == table)
            list.erase(list.begin() + long(i));
        else
            ++i;
    }
}

void unbindAll() {
    bindings().clear();
}

void updateAll() {
    for (const auto& binding : bindings()) {
        resolve(binding.second->uniformNames, binding.first->uniforms);
        resolve(binding.second->attributeNames, binding.first->attributes);
    }
}
