// Pictures of the reference host's project: a front elevation and a plan, to
// one scale, on one page, as SVG, PNG or PDF. One drawing code (cairo) serves
// the three formats; only the surface it draws on differs.
//
// The page, inside a frame:
// - A title block: the title (bxf2-import passes the names of the imported
//   files), the subtitle (the counts of what the project holds), the scale
//   and "Dimensions in mm".
// - "Front elevation": the project seen from the front, looking along +y onto
//   the x-z plane (x to the right, z up). "Plan": seen from above onto the
//   x-y plane (x to the right, +y up the page, so the front is at the
//   bottom). Both at one scale; they stand one above the other with x aligned
//   (the elevation on top) or side by side (the elevation on the left),
//   whichever lets the drawing be larger (one above the other when equal).
// - Every box and mesh object once in each view, as its outline: the convex
//   hull of its points through its matrix (a box's eight corners, the
//   vertices of a mesh's triangles), filled with its material's base colour
//   (`material_base_colour`, as in the glTF export) and edged thinly in half
//   that colour. Nearer objects hide farther ones: each view draws its
//   objects from the farthest to the nearest, ordered by each one's nearest
//   point (the smallest y in the elevation, the highest z in the plan), then
//   by its farthest point, then in project order. Articles and groups have
//   no outline of their own; mesh objects without triangles are not drawn.
// - Dimension lines in millimetres (of the extent of everything drawn): the
//   overall height beside the elevation, the overall depth beside the plan
//   and the overall width below it.
// - A legend: each material (name and colour) once, in the order the
//   objects first use it.
// A project with nothing to draw gets the title block and a line that says
// so ("The project is empty." or "Nothing to draw: the project holds no box
// and no mesh object.").
//
// Sizes:
// - SVG and PDF: a sheet at a scale of the series 1:1, 1:2, 1:5, 1:10, 1:20,
//   1:50, 1:100, 1:200, 1:500, ... printed in the title block ("Scale 1:20,
//   A4 landscape"). The sheet is the smallest of A4 and A3 on which the
//   drawing fits at 1:20 or larger, at the largest scale that fits it
//   (landscape before portrait when both give the same scale); a project too
//   large for A3 at 1:20 goes on A3 at the largest smaller scale that fits.
//   SVG lengths are points (width="841.889764pt" for A4 landscape).
// - PNG: 1600 × 1000 pixels (`picture_png_width`, `picture_png_height`),
//   laid out like a sheet 297 mm wide, the drawing scaled to fill it but
//   never beyond 1:1 on that sheet; the title block says how many
//   millimetres a pixel stands for.
// An empty project's page is A4 landscape (or the PNG's size).
#pragma once

#include <string>

class CProject;

enum class TPictureFormat { svg, png, pdf };

inline constexpr int picture_png_width = 1600;
inline constexpr int picture_png_height = 1000;

// What the page says besides the drawing. Both are printed with control
// characters escaped (as `printable_text` writes them).
struct TPictureOptions {
  std::string title;     // the title line; "Project" when empty
  std::string subtitle;  // the line below it; none when empty
};

// The picture of `project` as the bytes of a file of `format`. Raises
// EExport (host.export) naming the entity when a box or mesh object has a
// point that is not finite through its matrix ("box "Side" in "Cabinet":
// non-finite bounds"), "the project is too large to draw" when its extent
// is beyond every scale, and "the picture cannot be drawn (<cairo's
// reason>)" when cairo fails; std::bad_alloc when memory runs out.
std::string project_picture(const CProject& project, TPictureFormat format, const TPictureOptions& options = {});
