#pragma once
// The three-component vector that the ray tracer computes with: points, directions and
// linear RGB colours alike.
#include <cmath>

struct SVec3 {
    double x = 0, y = 0, z = 0;
};

inline SVec3 operator+(SVec3 a, SVec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline SVec3 operator-(SVec3 a, SVec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline SVec3 operator-(SVec3 a) {
    return {-a.x, -a.y, -a.z};
}
inline SVec3 operator*(SVec3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline SVec3 operator*(double s, SVec3 a) {
    return a * s;
}
// Component-wise, for colours.
inline SVec3 operator*(SVec3 a, SVec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
inline double dot(SVec3 a, SVec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline SVec3 cross(SVec3 a, SVec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(SVec3 a) {
    return std::sqrt(dot(a, a));
}
inline SVec3 normalize(SVec3 a) {
    return a * (1.0 / length(a));
}
inline SVec3 mix(SVec3 a, SVec3 b, double t) {
    return a * (1 - t) + b * t;
}
inline SVec3 reflect(SVec3 direction, SVec3 normal) {
    return direction - normal * (2 * dot(direction, normal));
}
