// Writes the drawer mesh "H-SK.meb" that the scene builder loads for parts
// whose model key begins with "H-SK": one mesh object, a drawer box (two
// sides, back and bottom) behind a front panel, in metres, z up, the front
// facing -y, its bounding box starting at the origin. The builder stretches
// it to each part's size, so only its proportions matter.
//
//   bxf2_drawer_mesh <path of H-SK.meb>
#include <cstdio>
#include <string>

#include "host.meb.h"

namespace {

// Adds the twelve triangles of the cuboid [x0, x1] × [y0, y1] × [z0, z1],
// wound counter-clockwise seen from outside.
void add_cuboid(TMebNode& mesh, float x0, float y0, float z0, float x1, float y1, float z1) {
  const uint32_t base = uint32_t(mesh.vertices.size());
  for (int i = 0; i < 8; ++i) mesh.vertices.push_back({(i & 1) ? x1 : x0, (i & 2) ? y1 : y0, (i & 4) ? z1 : z0});
  // Corner i has x from bit 0, y from bit 1, z from bit 2.
  static const uint32_t faces[6][4] = {
      {0, 2, 3, 1},  // bottom (z0)
      {4, 5, 7, 6},  // top (z1)
      {0, 1, 5, 4},  // front (y0)
      {2, 6, 7, 3},  // back (y1)
      {0, 4, 6, 2},  // left (x0)
      {1, 3, 7, 5},  // right (x1)
  };
  for (const auto& f : faces) {
    for (uint32_t k : {f[0], f[1], f[2], f[0], f[2], f[3]}) mesh.indices.push_back(base + k);
  }
}

TMebFile drawer() {
  // Outer measures of the front and of the box behind it.
  const float width = 0.596f, height = 0.176f, front = 0.019f, depth = 0.5f;
  const float side = 0.016f, gap = 0.012f, bottom = 0.008f, low = 0.03f, box_height = 0.13f;
  TMebNode mesh;
  mesh.name = "H-SK";
  add_cuboid(mesh, 0, 0, 0, width, front, height);  // front panel
  const float x0 = gap, x1 = width - gap, y0 = front, y1 = front + depth, z0 = low, z1 = low + box_height;
  add_cuboid(mesh, x0, y0, z0, x0 + side, y1, z1);                         // left side
  add_cuboid(mesh, x1 - side, y0, z0, x1, y1, z1);                         // right side
  add_cuboid(mesh, x0 + side, y1 - side, z0, x1 - side, y1, z1);           // back
  add_cuboid(mesh, x0 + side, y0, z0, x1 - side, y1 - side, z0 + bottom);  // bottom
  TMebFile file;
  file.objects.push_back(std::move(mesh));
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bxf2_drawer_mesh <target .meb>\n");
    return 2;
  }
  try {
    write_meb(argv[1], drawer());
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
