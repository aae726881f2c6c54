#include "shapes.h"

#include <algorithm>
#include <utility>

namespace {

// Turns a vector about the vertical axis.
SVec3 turned(SVec3 v, double cosine, double sine) {
    return {cosine * v.x + sine * v.z, v.y, -sine * v.x + cosine * v.z};
}

// Whether the ray can come near a solid at all: a test against a sphere around it
// rules out most solids for a fraction of the cost of the real test.
bool mayHit(SVec3 centre, double radius, SVec3 origin, SVec3 direction, double minDistance,
            double maxDistance) {
    const SVec3 offset = origin - centre;
    const double b = dot(offset, direction);
    const double c = dot(offset, offset) - radius * radius;
    const double discriminant = b * b - c;
    if (discriminant < 0)
        return false;
    const double root = std::sqrt(discriminant);
    return -b + root > minDistance && -b - root < maxDistance;
}

SVec3 facing(SVec3 normal, SVec3 direction) {
    return dot(normal, direction) > 0 ? -normal : normal;
}

}  // namespace

bool intersect(const SSphere& sphere, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit) {
    const SVec3 offset = origin - sphere.mCentre;
    const double b = dot(offset, direction);
    const double c = dot(offset, offset) - sphere.mRadius * sphere.mRadius;
    const double discriminant = b * b - c;
    if (discriminant < 0)
        return false;
    const double root = std::sqrt(discriminant);
    double t = -b - root;
    if (t <= minDistance)
        t = -b + root;
    if (t <= minDistance || t >= maxDistance)
        return false;
    hit.mDistance = t;
    hit.mNormal =
        facing((origin + direction * t - sphere.mCentre) * (1 / sphere.mRadius), direction);
    return true;
}

SBox makeBox(SVec3 centre, SVec3 halfSize, double yaw, const SMaterial& material) {
    return {centre, halfSize, std::cos(yaw), std::sin(yaw), material};
}

bool intersect(const SBox& box, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit) {
    if (!mayHit(box.mCentre, length(box.mHalfSize), origin, direction, minDistance, maxDistance))
        return false;
    // In the box's own frame it is axis-aligned: the slab test.
    const double cosine = box.mCos, sine = -box.mSin;
    const SVec3 o = turned(origin - box.mCentre, cosine, sine);
    const SVec3 d = turned(direction, cosine, sine);
    const double oc[3] = {o.x, o.y, o.z}, dc[3] = {d.x, d.y, d.z};
    const double half[3] = {box.mHalfSize.x, box.mHalfSize.y, box.mHalfSize.z};
    double near = -1e300, far = 1e300;
    int nearAxis = 0, farAxis = 0;
    for (int axis = 0; axis < 3; ++axis) {
        if (std::abs(dc[axis]) < 1e-12) {
            if (std::abs(oc[axis]) > half[axis])
                return false;
            continue;
        }
        double t0 = (-half[axis] - oc[axis]) / dc[axis];
        double t1 = (half[axis] - oc[axis]) / dc[axis];
        if (t0 > t1)
            std::swap(t0, t1);
        if (t0 > near) {
            near = t0;
            nearAxis = axis;
        }
        if (t1 < far) {
            far = t1;
            farAxis = axis;
        }
    }
    if (near > far)
        return false;
    double t = near;
    int axis = nearAxis;
    if (t <= minDistance) {
        t = far;
        axis = farAxis;
    }
    if (t <= minDistance || t >= maxDistance)
        return false;
    double normal[3] = {0, 0, 0};
    normal[axis] = 1;
    hit.mDistance = t;
    hit.mNormal = facing(turned({normal[0], normal[1], normal[2]}, cosine, -sine), direction);
    return true;
}

bool intersect(const SCylinder& cylinder, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit) {
    const double halfHeight = cylinder.mHeight / 2;
    if (!mayHit(cylinder.mBase + SVec3{0, halfHeight, 0},
                std::sqrt(cylinder.mRadius * cylinder.mRadius + halfHeight * halfHeight), origin,
                direction, minDistance, maxDistance))
        return false;
    const SVec3 o = origin - cylinder.mBase;
    bool found = false;
    double best = maxDistance;
    SVec3 normal;
    // The side: x² + z² = r² between the caps.
    const double a = direction.x * direction.x + direction.z * direction.z;
    if (a > 1e-12) {
        const double b = o.x * direction.x + o.z * direction.z;
        const double c = o.x * o.x + o.z * o.z - cylinder.mRadius * cylinder.mRadius;
        const double discriminant = b * b - a * c;
        if (discriminant >= 0) {
            const double root = std::sqrt(discriminant);
            for (double t : {(-b - root) / a, (-b + root) / a}) {
                const double y = o.y + direction.y * t;
                if (t > minDistance && t < best && y >= 0 && y <= cylinder.mHeight) {
                    best = t;
                    normal = normalize({o.x + direction.x * t, 0, o.z + direction.z * t});
                    found = true;
                    break;
                }
            }
        }
    }
    // The caps.
    if (std::abs(direction.y) > 1e-12) {
        for (double capY : {0.0, cylinder.mHeight}) {
            const double t = (capY - o.y) / direction.y;
            const double x = o.x + direction.x * t, z = o.z + direction.z * t;
            if (t > minDistance && t < best &&
                x * x + z * z <= cylinder.mRadius * cylinder.mRadius) {
                best = t;
                normal = {0, 1, 0};
                found = true;
            }
        }
    }
    if (!found)
        return false;
    hit.mDistance = best;
    hit.mNormal = facing(normal, direction);
    return true;
}
