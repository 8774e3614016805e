#include "host.picture.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <numbers>
#include <tuple>
#include <vector>

#include <fmt/format.h>

#include "host.export.h"
#include "sysutils.h"

namespace {

// ---------------------------------------------------------------------------
// What is drawn
// ---------------------------------------------------------------------------

// The two views: which model axes run to the right and up the page, along
// which axis depth grows away from the viewer (`away`: +1 when it grows with
// the coordinate, -1 when against it), and whether the overall width is
// dimensioned below the view (the height or depth always is, beside it).
struct TView {
  const char* title;
  int right, up, depth;
  double away;
  bool width_below;
};
constexpr TView views[2] = {
    {"Front elevation", 0, 2, 1, +1.0, false},  // from the front, looking along +y
    {"Plan", 0, 1, 2, -1.0, true},              // from above, looking down -z
};

// A box or mesh object as each view sees it: its outline (convex, in model
// millimetres along the view's right and up axes) and the depths of its
// nearest and farthest points.
struct TSolid {
  std::array<std::vector<float2>, 2> outline;
  std::array<double, 2> nearest{}, farthest{};
  TSingleRGB fill;
};

struct TLegendEntry {
  std::string name;
  TSingleRGB colour;
};

struct TScene {
  std::vector<TSolid> solids;
  std::vector<TLegendEntry> legend;  // materials in order of first use
  TBounds bounds;                    // of everything drawn, model millimetres
  bool project_empty = true;         // no entity at all
};

// The convex hull of `points`, counter-clockwise (Andrew's monotone chain);
// one or two points when they all coincide or lie on a line.
std::vector<float2> convex_hull(std::vector<float2> points) {
  std::sort(points.begin(), points.end(),
            [](const float2& a, const float2& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  points.erase(std::unique(points.begin(), points.end(),
                           [](const float2& a, const float2& b) { return a.x == b.x && a.y == b.y; }),
               points.end());
  if (points.size() < 3) return points;
  auto cross = [](const float2& o, const float2& a, const float2& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<float2> hull(2 * points.size());
  size_t k = 0;
  for (size_t i = 0; i < points.size(); ++i) {  // lower chain
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  for (size_t i = points.size() - 1, lower = k + 1; i > 0; --i) {  // upper chain
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0) --k;
    hull[k++] = points[i - 1];
  }
  hull.resize(k - 1);  // the last point is the first again
  return hull;
}

// The world points of a box (its eight corners) or of a mesh object (the
// vertices of its triangles), in millimetres; none for anything else.
std::vector<float3> world_points(const CEntity& e) {
  std::vector<float3> points;
  if (e.kind() == TEntityKind::box) {
    const float3 c = e.position(), s = e.size();
    for (int i = 0; i < 8; ++i)
      points.push_back(e.matrix().transform_point(
          float3(c.x + (i & 1 ? s.x : 0), c.y + (i & 2 ? s.y : 0), c.z + (i & 4 ? s.z : 0))));
  } else if (e.kind() == TEntityKind::mesh) {
    std::vector<bool> used(e.vertices().size());
    for (uint32_t index : e.indices()) used[index] = true;
    for (size_t i = 0; i < used.size(); ++i)
      if (used[i]) points.push_back(e.matrix().transform_point(e.vertices()[i]));
  }
  for (float3& p : points) {
    p = p * 1000.0;
    if (is_not_finite(p)) throw EExport(fmt::format("{}: non-finite bounds", entity_description(e)));
  }
  return points;
}

TScene collect(const CProject& project) {
  TScene scene;
  std::map<std::tuple<std::string, float, float, float>, size_t> materials;
  for (const CEntity* e : project.objects()) {
    scene.project_empty = false;
    const std::vector<float3> points = world_points(*e);
    if (points.empty()) continue;
    TSolid solid;
    solid.fill = material_base_colour(*e);
    for (int v = 0; v < 2; ++v) {
      const TView& view = views[v];
      std::vector<float2> flat;
      solid.nearest[v] = INFINITY;
      solid.farthest[v] = -INFINITY;
      for (const float3& p : points) {
        flat.emplace_back(p.items(view.right), p.items(view.up));
        const double depth = view.away * p.items(view.depth);
        solid.nearest[v] = std::min(solid.nearest[v], depth);
        solid.farthest[v] = std::max(solid.farthest[v], depth);
      }
      solid.outline[v] = convex_hull(std::move(flat));
    }
    for (const float3& p : points) scene.bounds.add(p);
    const std::string name = material_name(*e);
    const auto [it, added] =
        materials.try_emplace(std::make_tuple(name, solid.fill.r, solid.fill.g, solid.fill.b), scene.legend.size());
    if (added) scene.legend.push_back({name, solid.fill});
    scene.solids.push_back(std::move(solid));
  }
  return scene;
}

// The order in which a view draws the solids: the farthest first, so that
// nearer ones cover them.
std::vector<size_t> drawing_order(const TScene& scene, int view) {
  std::vector<size_t> order(scene.solids.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const TSolid &sa = scene.solids[a], &sb = scene.solids[b];
    if (sa.nearest[view] != sb.nearest[view]) return sa.nearest[view] > sb.nearest[view];
    return sa.farthest[view] > sb.farthest[view];
  });
  return order;
}

// ---------------------------------------------------------------------------
// Layout (page millimetres)
// ---------------------------------------------------------------------------

constexpr double margin = 6;           // sheet edge to frame
constexpr double title_height = 15;    // title block, at the top inside the frame
constexpr double legend_height = 8;    // legend, at the bottom inside the frame
constexpr double padding = 5;          // between the frame's bands and the views
constexpr double view_title = 8;       // above each view: its title
constexpr double dimension_band = 12;  // below and left of a view: its dimension lines
constexpr double view_gap = 12;        // between the two views

constexpr double title_size = 5, subtitle_size = 3.5, view_title_size = 3.5, label_size = 2.8;

// The sheet's paper, landscape.
struct TSheet {
  const char* name;
  double long_side, short_side;
};
constexpr TSheet a4{"A4", 297, 210}, a3{"A3", 420, 297};

enum class TArrangement { stacked, side_by_side };

// The drawing's extent along the three model axes (millimetres).
struct TExtent {
  double width, depth, height;
};

// What an arrangement needs along one page axis: every piece `fixed` +
// `model` × the scale must fit.
struct TPiece {
  double fixed, model;
};
struct TNeed {
  std::vector<TPiece> width, height;
};

// The elevation has the height beside it; the plan the depth beside it and
// the width below it (one above the other, the views share the width). Each
// extent counts as at least 1 mm, so that a flat project still has a scale.
TNeed need(TArrangement arrangement, const TExtent& e) {
  const double w = std::max(e.width, 1.0), d = std::max(e.depth, 1.0), h = std::max(e.height, 1.0);
  if (arrangement == TArrangement::stacked)
    return {{{dimension_band, w}}, {{2 * view_title + view_gap + dimension_band, h + d}}};
  return {{{2 * dimension_band + view_gap, 2 * w}}, {{view_title, h}, {view_title + dimension_band, d}}};
}

// The extent of `pieces` at `factor`.
double extent_at(const std::vector<TPiece>& pieces, double factor) {
  double extent = 0;
  for (const TPiece& piece : pieces) extent = std::max(extent, piece.fixed + piece.model * factor);
  return extent;
}

// The area the views may fill on a page of `width` × `height`.
struct TArea {
  double x, y, width, height;
};
TArea drawing_area(double width, double height) {
  return {margin + padding, margin + title_height + padding, width - 2 * (margin + padding),
          height - 2 * margin - title_height - legend_height - 2 * padding};
}

// The largest page millimetres per model millimetre at which `need` fits
// `area`; 0 when even its fixed part does not.
double largest_factor(const TNeed& need, const TArea& area) {
  double factor = INFINITY;
  for (const auto& [pieces, room] : {std::pair{&need.width, area.width}, std::pair{&need.height, area.height}})
    for (const TPiece& piece : *pieces) factor = std::min(factor, std::max(room - piece.fixed, 0.0) / piece.model);
  return factor;
}

// The page and where everything goes on it.
struct TLayout {
  double width = 0, height = 0;  // page millimetres
  double device_per_mm = 1;      // device units (points or pixels) per page millimetre
  double thinnest = 0;           // the thinnest line worth drawing (a pixel of a PNG)
  std::string scale_text;        // "Scale 1:20, A4 landscape"
  double factor = 0;             // page millimetres per model millimetre
  TArrangement arrangement = TArrangement::stacked;
  std::array<TArea, 2> view_area{};  // where each view's drawing goes
};

constexpr double points_per_mm = 72 / 25.4;
constexpr double png_sheet_width = 297;

// The smallest denominator n of the series 1, 2, 5, 10, 20, 50, ... with
// 1/n at most `factor`; 0 when there is none.
double series_denominator(double factor) {
  if (!(factor > 0)) return 0;
  for (double decade = 1; decade < 1e300; decade *= 10)
    for (double step : {1.0, 2.0, 5.0})
      if (1 / (step * decade) <= factor * (1 + 1e-12)) return step * decade;
  return 0;
}

std::string denominator_text(double n) { return n < 1e15 ? fmt::format("{:.0f}", n) : fmt::format("{:g}", n); }

// Places the views of `arrangement` at `factor`, centred in the page's area.
void place_views(TLayout& layout, const TExtent& extent) {
  const TNeed n = need(layout.arrangement, extent);
  const TArea area = drawing_area(layout.width, layout.height);
  const double f = layout.factor;
  const double x = area.x + (area.width - extent_at(n.width, f)) / 2;
  const double y = area.y + (area.height - extent_at(n.height, f)) / 2;
  const double w = f * extent.width, h = f * extent.height, d = f * extent.depth;
  layout.view_area[0] = {x + dimension_band, y + view_title, w, h};
  if (layout.arrangement == TArrangement::stacked)
    layout.view_area[1] = {x + dimension_band, y + view_title + h + view_gap + view_title, w, d};
  else
    layout.view_area[1] = {x + 2 * dimension_band + w + view_gap, y + view_title, w, d};
}

TLayout paper_layout(const TExtent& extent) {
  struct TChoice {
    double denominator = 0;
    const TSheet* sheet = nullptr;
    bool landscape = true;
    TArrangement arrangement = TArrangement::stacked;
  };
  // The best choice on `sheet` at 1:`limit` or larger (any scale when
  // `limit` is 0); landscape before portrait and stacked before side by
  // side when they give the same scale.
  auto best_on = [&](const TSheet& sheet, double limit) {
    TChoice best;
    for (bool landscape : {true, false}) {
      const double width = landscape ? sheet.long_side : sheet.short_side;
      const double height = landscape ? sheet.short_side : sheet.long_side;
      for (TArrangement arrangement : {TArrangement::stacked, TArrangement::side_by_side}) {
        const double n = series_denominator(largest_factor(need(arrangement, extent), drawing_area(width, height)));
        if (n == 0 || (limit > 0 && n > limit)) continue;
        if (best.denominator == 0 || n < best.denominator) best = {n, &sheet, landscape, arrangement};
      }
    }
    return best;
  };
  TChoice choice = best_on(a4, 20);
  if (choice.denominator == 0) choice = best_on(a3, 20);
  if (choice.denominator == 0) choice = best_on(a3, 0);
  if (choice.denominator == 0) throw EExport("the project is too large to draw");

  TLayout layout;
  layout.width = choice.landscape ? choice.sheet->long_side : choice.sheet->short_side;
  layout.height = choice.landscape ? choice.sheet->short_side : choice.sheet->long_side;
  layout.device_per_mm = points_per_mm;
  layout.factor = 1 / choice.denominator;
  layout.arrangement = choice.arrangement;
  layout.scale_text = fmt::format("Scale 1:{}, {} {}", denominator_text(choice.denominator), choice.sheet->name,
                                  choice.landscape ? "landscape" : "portrait");
  place_views(layout, extent);
  return layout;
}

// A PNG's page: picture_png_width × picture_png_height pixels, laid out as
// a sheet png_sheet_width millimetres wide.
TLayout png_page() {
  TLayout layout;
  layout.device_per_mm = picture_png_width / png_sheet_width;
  layout.width = png_sheet_width;
  layout.height = picture_png_height / layout.device_per_mm;
  layout.thinnest = 1 / layout.device_per_mm;
  return layout;
}

TLayout png_layout(const TExtent& extent) {
  TLayout layout = png_page();
  const TArea area = drawing_area(layout.width, layout.height);
  const double stacked = largest_factor(need(TArrangement::stacked, extent), area);
  const double side = largest_factor(need(TArrangement::side_by_side, extent), area);
  layout.arrangement = side > stacked * (1 + 1e-9) ? TArrangement::side_by_side : TArrangement::stacked;
  layout.factor = std::min(std::max(stacked, side), 1.0);
  if (!(layout.factor > 0)) throw EExport("the project is too large to draw");
  layout.scale_text = fmt::format("Scale 1 px = {:.3g} mm", 1 / (layout.factor * layout.device_per_mm));
  place_views(layout, extent);
  return layout;
}

// The page without a drawing: the PNG's, or A4 landscape.
TLayout empty_layout(TPictureFormat format) {
  if (format == TPictureFormat::png) return png_page();
  TLayout layout;
  layout.width = a4.long_side;
  layout.height = a4.short_side;
  layout.device_per_mm = points_per_mm;
  return layout;
}

// ---------------------------------------------------------------------------
// Drawing (page millimetres, on any cairo surface)
// ---------------------------------------------------------------------------

enum class TAlign { left, centre, right };

void set_font(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double text_width(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

// `text` (valid UTF-8) shortened at its end with "…" until it is at most
// `width` wide in the current font.
std::string fitted(cairo_t* cr, std::string text, double width) {
  if (text_width(cr, text) <= width) return text;
  while (!text.empty()) {
    size_t cut = text.size() - 1;
    while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    if (text_width(cr, text + "\u2026") <= width) break;
  }
  return text + "\u2026";
}

// Writes `text` with its baseline at `y`, starting at, centred on or ending at `x`.
void show_text(cairo_t* cr, double x, double y, const std::string& text, TAlign align) {
  const double w = align == TAlign::left ? 0 : text_width(cr, text);
  cairo_move_to(cr, align == TAlign::left ? x : align == TAlign::centre ? x - w / 2 : x - w, y);
  cairo_show_text(cr, text.c_str());
}

void set_colour(cairo_t* cr, const TSingleRGB& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

const TSingleRGB ink(0.1f);  // text and lines

// The thin edge of a shape filled with `fill`: half its colour.
TSingleRGB edge_of(const TSingleRGB& fill) { return TSingleRGB(fill.r * 0.5f, fill.g * 0.5f, fill.b * 0.5f); }

class TPainter {
 public:
  TPainter(cairo_t* cr, const TLayout& layout) : _cr(cr), _layout(layout) {}

  double line(double width) const { return std::max(width, _layout.thinnest); }

  // The frame, the title block and, unless empty, the legend's band.
  void frame(const TPictureOptions& options, bool with_legend) {
    const double left = margin, top = margin, right = _layout.width - margin, bottom = _layout.height - margin;
    set_colour(_cr, ink);
    cairo_set_line_width(_cr, line(0.35));
    cairo_rectangle(_cr, left, top, right - left, bottom - top);
    cairo_stroke(_cr);
    cairo_set_line_width(_cr, line(0.25));
    cairo_move_to(_cr, left, top + title_height);
    cairo_line_to(_cr, right, top + title_height);
    if (with_legend) {
      cairo_move_to(_cr, left, bottom - legend_height);
      cairo_line_to(_cr, right, bottom - legend_height);
    }
    cairo_stroke(_cr);

    double scale_width = 0;
    if (!_layout.scale_text.empty()) {
      set_font(_cr, subtitle_size, false);
      scale_width = text_width(_cr, _layout.scale_text);
      show_text(_cr, right - 4, top + 7.5, _layout.scale_text, TAlign::right);
      show_text(_cr, right - 4, top + 13.5, "Dimensions in mm", TAlign::right);
      scale_width = std::max(scale_width, text_width(_cr, "Dimensions in mm"));
    }
    const double room = right - left - 8 - (scale_width > 0 ? scale_width + 10 : 0);
    set_font(_cr, title_size, true);
    const std::string title = options.title.empty() ? std::string("Project") : printable_text(options.title);
    show_text(_cr, left + 4, top + 7.5, fitted(_cr, title, room), TAlign::left);
    if (!options.subtitle.empty()) {
      set_font(_cr, subtitle_size, false);
      show_text(_cr, left + 4, top + 13.5, fitted(_cr, printable_text(options.subtitle), room), TAlign::left);
    }
  }

  // A line in the middle of the page, for a page without a drawing.
  void notice(const std::string& text) {
    set_colour(_cr, ink);
    set_font(_cr, title_size, false);
    show_text(_cr, _layout.width / 2, (_layout.height + title_height) / 2, text, TAlign::centre);
  }

  void view(const TScene& scene, int v) {
    const TView& view = views[v];
    const TArea& area = _layout.view_area[v];
    const double f = _layout.factor;
    const double u0 = scene.bounds.min.items(view.right), v1 = scene.bounds.max.items(view.up);
    auto page_x = [&](double u) { return area.x + (u - u0) * f; };
    auto page_y = [&](double up) { return area.y + (v1 - up) * f; };

    set_colour(_cr, ink);
    set_font(_cr, view_title_size, true);
    show_text(_cr, area.x, area.y - view_title + 4.5, view.title, TAlign::left);

    cairo_set_line_join(_cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(_cr, line(0.12));
    for (size_t index : drawing_order(scene, v)) {
      const TSolid& solid = scene.solids[index];
      const std::vector<float2>& outline = solid.outline[v];
      cairo_new_path(_cr);
      for (const float2& p : outline) cairo_line_to(_cr, page_x(p.x), page_y(p.y));
      cairo_close_path(_cr);
      set_colour(_cr, solid.fill);
      cairo_fill_preserve(_cr);
      set_colour(_cr, edge_of(solid.fill));
      cairo_stroke(_cr);
    }
    cairo_set_line_join(_cr, CAIRO_LINE_JOIN_MITER);

    dimension(area.x, area.y + area.height, 0, -1, -1, 0, area.height, v1 - scene.bounds.min.items(view.up));
    if (view.width_below)
      dimension(area.x, area.y + area.height, 1, 0, 0, 1, area.width, scene.bounds.max.items(view.right) - u0);
  }

  // The materials with their colours along the bottom band; those that do
  // not fit are counted ("and 3 more").
  void legend(const TScene& scene) {
    const double y = _layout.height - margin - legend_height / 2;
    const double right = _layout.width - margin - 4;
    double x = margin + 4;
    set_font(_cr, label_size, false);
    cairo_set_line_width(_cr, line(0.12));
    const size_t count = scene.legend.size();
    for (size_t i = 0; i < count; ++i) {
      const TLegendEntry& entry = scene.legend[i];
      const std::string name = printable_text(entry.name);
      const double width = 6 + text_width(_cr, name) + 6;
      // Room for this entry and, when others follow, for counting them.
      const double rest = i + 1 < count ? text_width(_cr, fmt::format("and {} more", count - i - 1)) : 0;
      if (x + width + rest > right) {
        set_colour(_cr, ink);
        show_text(_cr, x, y + label_size / 3, fmt::format("and {} more", count - i), TAlign::left);
        return;
      }
      cairo_rectangle(_cr, x, y - 1.75, 4.5, 3.5);
      set_colour(_cr, entry.colour);
      cairo_fill_preserve(_cr);
      set_colour(_cr, edge_of(entry.colour));
      cairo_stroke(_cr);
      set_colour(_cr, ink);
      show_text(_cr, x + 6, y + label_size / 3, name, TAlign::left);
      x += width;
    }
  }

 private:
  // A dimension line for an edge of the drawing that starts at (x, y) and
  // runs `length` page millimetres along (ax, ay), drawn outward along
  // (ox, oy), with extension lines, oblique ticks and the measure `value`
  // (model millimetres) written along it, upright in its reading direction.
  void dimension(double x, double y, double ax, double ay, double ox, double oy, double length, double value) {
    constexpr double offset = 7, gap = 1.5, overshoot = 1.5, tick = 2.5;
    const double ex = x + ax * length, ey = y + ay * length;
    set_colour(_cr, ink);
    cairo_set_line_width(_cr, line(0.18));
    for (const auto& [px, py] : {std::pair{x, y}, std::pair{ex, ey}}) {
      cairo_move_to(_cr, px + ox * gap, py + oy * gap);
      cairo_line_to(_cr, px + ox * (offset + overshoot), py + oy * (offset + overshoot));
    }
    const double dx = x + ox * offset, dy = y + oy * offset;
    cairo_move_to(_cr, dx - ax * overshoot, dy - ay * overshoot);
    cairo_line_to(_cr, dx + ax * (length + overshoot), dy + ay * (length + overshoot));
    const double tx = (ax - ox) * tick / 2 / std::numbers::sqrt2, ty = (ay - oy) * tick / 2 / std::numbers::sqrt2;
    for (double at : {0.0, length}) {
      cairo_move_to(_cr, dx + ax * at - tx, dy + ay * at - ty);
      cairo_line_to(_cr, dx + ax * at + tx, dy + ay * at + ty);
    }
    cairo_stroke(_cr);

    set_font(_cr, label_size, false);
    cairo_save(_cr);
    cairo_translate(_cr, dx + ax * length / 2, dy + ay * length / 2);
    cairo_rotate(_cr, std::atan2(ay, ax));
    show_text(_cr, 0, -1, millimetres(value), TAlign::centre);
    cairo_restore(_cr);
  }

  // "1800", "623.5": whole millimetres, or tenths where they count.
  static std::string millimetres(double value) {
    std::string text = fmt::format("{:.1f}", value);
    if (text.ends_with(".0")) text.resize(text.size() - 2);
    return text == "-0" ? "0" : text;
  }

  cairo_t* _cr;
  const TLayout& _layout;
};

void draw(cairo_t* cr, const TLayout& layout, const TScene& scene, const TPictureOptions& options) {
  cairo_scale(cr, layout.device_per_mm, layout.device_per_mm);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  TPainter painter(cr, layout);
  const bool drawing = !scene.solids.empty();
  painter.frame(options, drawing);
  if (!drawing) {
    painter.notice(scene.project_empty ? "The project is empty."
                                       : "Nothing to draw: the project holds no box and no mesh object.");
    return;
  }
  painter.view(scene, 0);
  painter.view(scene, 1);
  painter.legend(scene);
}

// ---------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------

// The bytes cairo writes, kept in memory.
struct TStream {
  std::string bytes;
  bool out_of_memory = false;
};

cairo_status_t append_to_stream(void* closure, const unsigned char* data, unsigned int length) {
  auto* stream = static_cast<TStream*>(closure);
  try {
    stream->bytes.append(reinterpret_cast<const char*>(data), length);
  } catch (const std::bad_alloc&) {
    stream->out_of_memory = true;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

struct TSurfaceRelease {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct TContextRelease {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using TSurface = std::unique_ptr<cairo_surface_t, TSurfaceRelease>;
using TContext = std::unique_ptr<cairo_t, TContextRelease>;

// Raises for a cairo failure: std::bad_alloc when memory ran out, else
// EExport with cairo's reason.
void check(cairo_status_t status, const TStream& stream) {
  if (stream.out_of_memory || status == CAIRO_STATUS_NO_MEMORY) throw std::bad_alloc();
  if (status != CAIRO_STATUS_SUCCESS)
    throw EExport(fmt::format("the picture cannot be drawn ({})", cairo_status_to_string(status)));
}

}  // namespace

std::string project_picture(const CProject& project, TPictureFormat format, const TPictureOptions& options) {
  const TScene scene = collect(project);
  TLayout layout;
  if (scene.solids.empty()) {
    layout = empty_layout(format);
  } else {
    const float3 extent = scene.bounds.extent();
    const TExtent e{extent.x, extent.y, extent.z};
    if (is_not_finite(extent)) throw EExport("the project is too large to draw");
    layout = format == TPictureFormat::png ? png_layout(e) : paper_layout(e);
  }

  TStream stream;
  const double width = layout.width * layout.device_per_mm, height = layout.height * layout.device_per_mm;
  TSurface surface;
  switch (format) {
    case TPictureFormat::svg:
      surface.reset(cairo_svg_surface_create_for_stream(append_to_stream, &stream, width, height));
      cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_PT);
      break;
    case TPictureFormat::pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(append_to_stream, &stream, width, height));
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                     printable_text(options.title.empty() ? "Project" : options.title).c_str());
      break;
    case TPictureFormat::png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture_png_width, picture_png_height));
      break;
  }
  check(cairo_surface_status(surface.get()), stream);
  {
    TContext cr(cairo_create(surface.get()));
    draw(cr.get(), layout, scene, options);
    check(cairo_status(cr.get()), stream);
  }
  if (format == TPictureFormat::png) {
    cairo_surface_flush(surface.get());
    check(cairo_surface_write_to_png_stream(surface.get(), append_to_stream, &stream), stream);
  } else {
    cairo_surface_finish(surface.get());
    check(cairo_surface_status(surface.get()), stream);
  }
  return std::move(stream.bytes);
}
