#include "orientation.h"

void orientedTexCoord(int orientation, float a, float b, float& s, float& t) {
    switch (orientation) {
        case 2:
            s = 1 - a, t = b;
            break;
        case 3:
            s = 1 - a, t = 1 - b;
            break;
        case 4:
            s = a, t = 1 - b;
            break;
        case 5:
            s = b, t = a;
            break;
        case 6:
            s = b, t = 1 - a;
            break;
        case 7:
            s = 1 - b, t = 1 - a;
            break;
        case 8:
            s = 1 - b, t = a;
            break;
        default:
            s = a, t = b;
            break;
    }
}

void displayedPoint(int orientation, float s, float t, float& a, float& b) {
    // Each orientation undoes itself, but for the two quarter turns, which undo each other.
    const int inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    orientedTexCoord(inverse, s, t, a, b);
}

namespace {
// Index: the orientation (0 stands for anything out of range, upright).
// The four turns of the upright picture, and of the mirrored one.
constexpr int kRight[9] = {6, 6, 7, 8, 5, 2, 3, 4, 1};
constexpr int kLeft[9] = {8, 8, 5, 6, 7, 4, 1, 2, 3};

int tableIndex(int orientation) {
    return orientation >= 1 && orientation <= 8 ? orientation : 0;
}
}  // namespace

int turnedRight(int orientation) {
    return kRight[tableIndex(orientation)];
}

int turnedLeft(int orientation) {
    return kLeft[tableIndex(orientation)];
}
