#pragma once
// Design-space geometry: units of the editor's design size, origin at the
// bottom-left corner, y upwards. The whole editor scales with the window.

#include <algorithm>

namespace QX {

struct Point {
    float x = 0, y = 0;
};

using Colour = float[4];  // RGBA, 0..1

// Six floats: minimum x, y, z and maximum x, y, z. The empty box is
// inside out, so uniting it with any box gives that box.
struct Box {
    float minX = 1e10f, minY = 1e10f, minZ = 1e10f;
    float maxX = -1e10f, maxY = -1e10f, maxZ = -1e10f;

    static Box Make(float x0, float y0, float x1, float y1) { return Box{x0, y0, 0, x1, y1, 0}; }
    bool Empty() const { return minX > maxX || minY > maxY; }
    // Inclusive on every edge.
    bool Contains(Point p) const {
        return minX <= p.x && p.x <= maxX && minY <= p.y && p.y <= maxY;
    }
    void Unite(const Box& other) {
        minX = std::min(minX, other.minX);
        minY = std::min(minY, other.minY);
        minZ = std::min(minZ, other.minZ);
        maxX = std::max(maxX, other.maxX);
        maxY = std::max(maxY, other.maxY);
        maxZ = std::max(maxZ, other.maxZ);
    }
    void Move(float dx, float dy, float dz = 0) {
        minX += dx, maxX += dx, minY += dy, maxY += dy, minZ += dz, maxZ += dz;
    }
    float Width() const { return maxX - minX; }
    float Height() const { return maxY - minY; }
    Point Centre() const { return {(minX + maxX) * 0.5f, (minY + maxY) * 0.5f}; }
};

}  // namespace QX
