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
