#pragma once
// Parameter sets: the uniform and attribute locations of one program under fixed
// names, filled again after every (re)link, so that drawing code sets a uniform
// through a named field without looking it up each frame.
#include <utility>
#include <vector>

class BindingTable;
class GLSLProgram;

class GLSLParamsContainer {
public:
    virtual ~GLSLParamsContainer() = default;
    // Names the set's uniform fields, then its attribute fields, in field order.
    virtual void declare(BindingTable& table) = 0;
};

// Ties the names a set declares to the set's location fields.
class BindingTable {
public:
    explicit BindingTable(GLSLParamsContainer& set) { set.declare(*this); }
    BindingTable(const BindingTable&) = delete;
    BindingTable& operator=(const BindingTable&) = delete;

    void uniform(const char* name, int* field) { uniformNames.emplace_back(name, field); }
    void attribute(const char* name, int* field) { attributeNames.emplace_back(name, field); }

    std::vector<std::pair<const char*, int*>> uniformNames;
    std::vector<std::pair<const char*, int*>> attributeNames;
};

// Ties a table to its program (a later call for the same program replaces the table);
// a null program is ignored.
void bind(GLSLProgram* program, BindingTable* table);
// Drops a table from the binding list, before its set goes away.
void unbind(BindingTable* table);
// Forgets every binding: the registry's programs are gone.
void unbindAll();
// Fills every bound table from its program's uniform and attribute lists; a name the
// program lacks gets -1.
void updateAll();
