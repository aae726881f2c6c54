#include "glh.h"

#include "CAnaglyphRenderer.h"

#include "GLSLShader.h"
#include "anaglyphMatrices.h"
#include "glHelper.h"

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>

CAnaglyphRenderer::CAnaglyphRenderer() {
    // Drawing before the calibration reports in shows the default glasses, not black.
    computeTables();
}

CAnaglyphRenderer::~CAnaglyphRenderer() {
    unbind(&table);
}

bool CAnaglyphRenderer::init(const char* vertexSource, const char* fragmentSource) {
    std::memcpy(mapCol, kFullRangeMapping.data(), sizeof mapCol);
    if (vertexSource && fragmentSource) {
        program = GLSLShader::instance().createAndBuild({vertexSource}, {fragmentSource});
        if (!program) {
            consoleLine("Error loading shaders.");
            return false;
        }
        bind(program, &table);
        updateAll();
    }
    return true;
}

void CAnaglyphRenderer::setFilterParameters(float a_l, float b_l, float a_r, float b_r,
                                            float gamma) {
    this->a_l = a_l;
    this->b_l = b_l;
    this->a_r = a_r;
    this->b_r = b_r;
    this->gamma = gamma;
    // Formatted on a stream of its own, whose notation nobody else sees.
    std::ostringstream report;
    report << "Filter Parameters\n"
           << "a_l    b_l    a_r    b_r    gamma\n"
           << std::fixed << std::setprecision(4) << a_l << ' ' << b_l << ' ' << a_r << ' ' << b_r
           << ' ' << gamma;
    consoleInfo(report.str());
    computeTables();
}

void CAnaglyphRenderer::computeTables() {
    const SAnaglyphMatrices m = computeAnaglyphMatrices(a_l, b_l, a_r, b_r, gamma);
    std::memcpy(fc, m.mFc, sizeof fc);
    std::memcpy(filtL, m.mFiltL, sizeof filtL);
    swapped = m.mRoles.mSwapped;
    if (m.mDegenerate)
        RUV_WARNING(
            "both filters pass the same share of the dominant primary; halos cannot be "
            "removed with these filter parameters, drawing without halo removal");
}

void CAnaglyphRenderer::setRestrictedRange(bool flag) {
    if (flag == restrictedRange)
        return;
    restrictedRange = flag;
    if (flag) {
        const SFilterRoles roles = chooseFilterRoles(a_l, b_l, a_r, b_r);
        swapped = roles.mSwapped;
        const std::array<float, 4> mapping = restrictedRangeMapping(roles);
        std::memcpy(mapCol, mapping.data(), sizeof mapCol);
    } else {
        std::memcpy(mapCol, kFullRangeMapping.data(), sizeof mapCol);
    }
}

void CAnaglyphRenderer::draw(float s, float t) {
    if (!program)
        return;
    glUseProgram(program->id.get());
    checkGLError(__FILE__, __LINE__);

    const int halos = removeHalos ? 1 : 0;
    glUniform1i(params.texL, swapped ? 1 : 0);
    glUniform1i(params.texR, swapped ? 0 : 1);
    glUniform4fv(params.filtL, 1, filtL[halos][mode]);
    glUniformMatrix4fv(params.fc, 1, GL_FALSE, fc[halos][mode]);
    glUniform4fv(params.mapCol, 1, mapCol);
    checkGLError(__FILE__, __LINE__);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // One texel per view pixel: filtering would mix neighbours before the colour
    // matrix, which is not linear in the encoded values.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(0, 0, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(s, 0);
    glVertex2f(1, 0);
    glTexCoord2f(s, t);
    glVertex2f(1, 1);
    glTexCoord2f(0, t);
    glVertex2f(0, 1);
    glEnd();

    glUseProgram(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
