#pragma once
// Combines a left and a right view, already rendered into two textures, into one
// colour anaglyph for glasses with two colour filters, removing the halos (ghost
// images) that the filters let through when the calibration's transmissions are known.
#include "GLSLParams.h"

class GLSLProgram;

// Uniform locations of the anaglyph program.
struct SAppShaderParams : public GLSLParamsContainer {
    int texL = -1;
    int texR = -1;
    int filtL = -1;
    int fc = -1;
    int mapCol = -1;

    void declare(BindingTable& table) override {
        table.uniform("texL", &texL);
        table.uniform("texR", &texR);
        table.uniform("filtL", &filtL);
        table.uniform("fc", &fc);
        table.uniform("mapCol", &mapCol);
    }
};

// The state is public for reading; change it through the operations, which keep the
// tables consistent with the parameters.
class CAnaglyphRenderer {
public:
    CAnaglyphRenderer();
    ~CAnaglyphRenderer();
    CAnaglyphRenderer(const CAnaglyphRenderer&) = delete;
    CAnaglyphRenderer& operator=(const CAnaglyphRenderer&) = delete;

    // Builds the anaglyph program from two source references (file name, or '*' and
    // the text); false, after "Error loading shaders.", when the registry cannot make
    // it: the host decides what then. With a null argument only the range mapping is
    // reset.
    bool init(const char* vertexSource, const char* fragmentSource);
    // a: red, b: green transmission of the left (l) and right (r) filter; gamma: the
    // display's. Prints them and recomputes all matrices.
    void setFilterParameters(float a_l, float b_l, float a_r, float b_r, float gamma);
    // These take effect at the next draw.
    void setRemoveHalos(bool on) { removeHalos = on; }
    void setFullColor() { mode = 0; }
    void setHalfColor() { mode = 1; }
    void setGray() { mode = 2; }
    // Keeps the composite inside the range each filter can still separate.
    void setRestrictedRange(bool flag);
    // Composites texture unit 0 (left view) and unit 1 (right view) into the current
    // viewport; s and t are the fractions of the textures' width and height the views
    // fill. Unit 0 must be active. Does nothing before init has built the program.
    void draw(float s, float t);

    GLSLProgram* program = nullptr;  // owned by the shader registry
    SAppShaderParams params;
    BindingTable table{params};
    // [halo removal 0/1][mode]; matrices column by column.
    float fc[2][3][16];
    float filtL[2][3][4];
    bool removeHalos = true;
    int mode = 0;  // 0 full colour, 1 half colour, 2 gray
    float mapCol[4] = {1.0f, 0.0f, 1.0f, 0.0f};
    bool restrictedRange = false;
    bool swapped = false;  // the right filter is the one whose eye sees luminance
    // The calibration's defaults until it hands over its own.
    float a_l = 0.925951f;
    float b_l = 0.0611928f;
    float a_r = 0.00942937f;
    float b_r = 0.87051f;
    float gamma = 1.66804f;

private:
    void computeTables();
};
