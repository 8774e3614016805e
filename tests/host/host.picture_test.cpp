// Pictures of the project (front elevation and plan) as SVG, PNG and PDF,
// read back: the SVG through the platform's XML DOM, the PNG through cairo,
// the PDF through pdfinfo and pdftotext. What is checked is what the drawing
// promises (shapes, sizes at the printed scale, order, page, text), never
// pixels.
#include "host.export.h"

#include "host.application.h"
#include "picture.reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <regex>

#include <fmt/format.h>

#include "platform.files.h"
#include "test.support.h"

namespace fs = std::filesystem;

namespace {

constexpr double points_per_mm = 72 / 25.4;

struct TColour {
  double red, green, blue;
};

class picture : public ::testing::Test {
 protected:
  CHost host;
  fs::path folder;

  void SetUp() override {
    folder = fs::temp_directory_path() / ("host picture " + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string path(const char* name) const { return (folder / name).string(); }

  // A box at `corner` with `extent` (millimetres), in `group` (the top level
  // when null), of material `id` coloured `colour`.
  CEntity* box(const char* name, CEntity* group, const char* id, TColour colour, float3 corner, float3 extent) {
    CEntity* e = host.project().new_entity(TEntityKind::box);
    e->set_name(name);
    for (int axis = 0; axis < 3; ++axis) e->set_size(axis, extent.items(axis) / 1000);
    e->set_matrix(float4x4::identity().translate(corner.x / 1000, corner.y / 1000, corner.z / 1000));
    e->set_property(".material.default.id", id);
    e->set_property(".material.default.diffuse.red", std::to_string(colour.red));
    e->set_property(".material.default.diffuse.green", std::to_string(colour.green));
    e->set_property(".material.default.diffuse.blue", std::to_string(colour.blue));
    if (group) group->insert_member(e);
    return e;
  }

  CEntity* group(const char* name) {
    CEntity* g = host.project().new_entity(TEntityKind::group);
    g->set_name(name);
    return g;
  }
};

// The shapes of `picture` filled with `colour`, in document order.
std::vector<TSvgShape> filled_with(const TSvgPicture& picture, TColour colour) {
  std::vector<TSvgShape> shapes;
  for (const TSvgShape& s : picture.shapes)
    if (std::abs(s.red - colour.red) < 0.002 && std::abs(s.green - colour.green) < 0.002 &&
        std::abs(s.blue - colour.blue) < 0.002)
      shapes.push_back(s);
  return shapes;
}

// The index of the first shape of `picture` with the box of `shape`.
size_t index_of(const TSvgPicture& picture, const TSvgShape& shape) {
  for (size_t i = 0; i < picture.shapes.size(); ++i)
    if (picture.shapes[i].left == shape.left && picture.shapes[i].top == shape.top &&
        picture.shapes[i].right == shape.right && picture.shapes[i].bottom == shape.bottom)
      return i;
  return picture.shapes.size();
}

// The denominator of "Scale 1:N" in a PDF's text; 0 when there is none.
double printed_scale(const std::string& text) {
  static const std::regex scale(R"(Scale 1:([0-9]+))");
  std::smatch m;
  return std::regex_search(text, m, scale) ? std::stod(m[1]) : 0;
}

const TColour carcass_colour{0.9, 0.8, 0.6}, door_colour{0.6, 0.2, 0.2}, top_colour{0.3, 0.5, 0.3};

}  // namespace

// A base cabinet: carcass 600 wide, 560 deep, 720 high on a 100 mm plinth
// line, a door in front of it, a handle mesh in front of the door and a
// worktop above. Each drawn object is one filled shape in each view, sized
// at the printed scale, drawn from the farthest to the nearest.
TEST_F(picture, each_object_is_one_shape_per_view_at_the_printed_scale_farthest_first) {
  CEntity* cabinet = group("Base cabinet");
  CEntity* carcass = box("Carcass", cabinet, "CARCASS", carcass_colour, {0, 0, 100}, {600, 560, 720});
  box("Door", cabinet, "FRONT", door_colour, {2, -19, 102}, {596, 19, 716});
  box("Worktop", cabinet, "TOP", top_colour, {0, -30, 820}, {600, 590, 38});
  CEntity* handle = host.project().new_entity(TEntityKind::mesh);
  handle->set_name("handle");
  handle->set_geometry({{0, 0, 0}, {0.16, 0, 0}, {0.16, 0, 0.012}, {0, 0, 0.012}, {0, 0.03, 0}, {5, 5, 5}},
                       {0, 1, 2, 0, 2, 3, 0, 1, 4});  // the last vertex is in no triangle
  handle->set_matrix(float4x4::identity().translate(0.4, -0.049, 0.7));
  handle->set_property(".material.default.diffuse.red", "nan");     // the glTF rule: unreadable is 1,
  handle->set_property(".material.default.diffuse.green", "-0.5");  // the rest kept between 0 and 1
  handle->set_property(".material.default.diffuse.blue", "7");
  cabinet->insert_member(handle);
  CEntity* flat = host.project().new_entity(TEntityKind::mesh);  // no triangles: not drawn
  flat->set_geometry({{0, 0, 0}, {1, 1, 1}}, {});
  host.project().new_entity(TEntityKind::article);
  group("empty");

  const std::string svg = path("cabinet.svg"), pdf = path("cabinet.pdf");
  write_project(host.project(), svg);
  write_project(host.project(), pdf);
  const std::optional<TSvgPicture> picture = read_svg(svg);
  ASSERT_TRUE(picture);
  EXPECT_NEAR(picture->width, 297 * points_per_mm, 0.01);
  EXPECT_NEAR(picture->height, 210 * points_per_mm, 0.01);

  // Four objects twice, and the four materials once in the legend.
  EXPECT_EQ(picture->shapes.size(), 4u * 2 + 4);
  const TColour handle_colour{1, 0, 1};
  for (TColour colour : {carcass_colour, door_colour, top_colour, handle_colour})
    EXPECT_EQ(filled_with(*picture, colour).size(), 3u) << colour.red << " " << colour.green << " " << colour.blue;

  // At 1:10 on A4: the carcass is 60 mm wide in both views, 72 mm high in
  // the elevation and 56 mm deep in the plan.
  double scale = 10;
  if (pdf_tools_found()) {
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("Scale 1:10, A4 landscape"), std::string::npos) << text;
    scale = printed_scale(text);
  }
  const std::vector<TSvgShape> carcasses = filled_with(*picture, carcass_colour);
  ASSERT_EQ(carcasses.size(), 3u);
  const TSvgShape& elevation = carcasses[0];
  const TSvgShape& plan = carcasses[1];
  const double mm = points_per_mm / scale, tolerance = 0.02;
  EXPECT_NEAR(elevation.width(), 600 * mm, tolerance);
  EXPECT_NEAR(elevation.height(), 720 * mm, tolerance);
  EXPECT_NEAR(plan.width(), 600 * mm, tolerance);
  EXPECT_NEAR(plan.height(), 560 * mm, tolerance);
  // The views share the scale and the x of the drawing; the front is at the
  // bottom of the plan: the door lies below the carcass there.
  const std::vector<TSvgShape> doors = filled_with(*picture, door_colour);
  ASSERT_EQ(doors.size(), 3u);
  EXPECT_NEAR(doors[0].left - elevation.left, 2 * mm, tolerance);
  EXPECT_NEAR(doors[1].top, plan.bottom, tolerance);
  EXPECT_NEAR(doors[1].height(), 19 * mm, tolerance);
  // The handle's outline is its triangles', not its stray vertex's.
  const std::vector<TSvgShape> handles = filled_with(*picture, handle_colour);
  ASSERT_EQ(handles.size(), 3u);
  EXPECT_NEAR(handles[0].width(), 160 * mm, tolerance);
  EXPECT_NEAR(handles[0].height(), 12 * mm, tolerance);
  EXPECT_NEAR(handles[1].height(), 30 * mm, tolerance);

  // Farthest first: in the elevation the carcass, the door, the handle (the
  // nearest, at y = -49); in the plan the worktop, highest, comes last.
  const std::vector<TSvgShape> tops = filled_with(*picture, top_colour);
  ASSERT_EQ(tops.size(), 3u);
  EXPECT_LT(index_of(*picture, carcasses[0]), index_of(*picture, doors[0]));
  EXPECT_LT(index_of(*picture, doors[0]), index_of(*picture, handles[0]));
  EXPECT_EQ(index_of(*picture, tops[1]), 7u);
  EXPECT_LT(index_of(*picture, handles[1]), index_of(*picture, tops[1]));

  // A carcass turned a quarter about z is drawn by its turned corners.
  carcass->set_matrix(float4x4::identity().rotate_z(std::numbers::pi / 2).translate(0.6, 0, 0.1));
  write_project(host.project(), svg);
  const std::optional<TSvgPicture> turned = read_svg(svg);
  ASSERT_TRUE(turned);
  const std::vector<TSvgShape> turned_carcasses = filled_with(*turned, carcass_colour);
  ASSERT_EQ(turned_carcasses.size(), 3u);
  EXPECT_NEAR(turned_carcasses[0].width() / turned_carcasses[0].height(), 560.0 / 720, 1e-3);
  EXPECT_NEAR(turned_carcasses[1].width() / turned_carcasses[1].height(), 560.0 / 600, 1e-3);
}

// The sheet and the scale follow the size of the project: the smallest
// sheet at 1:20 or larger, at the largest scale that fits there.
TEST_F(picture, sheet_and_scale_follow_the_size_of_the_project) {
  if (!pdf_tools_found()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
  struct TCase {
    float3 extent;  // millimetres: width (x), depth (y), height (z)
    const char* scale;
    double width, height;  // the page in millimetres
  };
  const TCase cases[] = {
      {{20, 20, 20}, "Scale 1:1, A4 landscape", 297, 210},
      {{600, 560, 820}, "Scale 1:10, A4 landscape", 297, 210},
      {{600, 600, 2000}, "Scale 1:10, A4 portrait", 210, 297},    // tall and narrow
      {{1800, 624, 2200}, "Scale 1:20, A4 landscape", 297, 210},  // the example kitchen
      {{4000, 600, 2200}, "Scale 1:20, A3 landscape", 420, 297},
      {{12000, 600, 2200}, "Scale 1:50, A3 landscape", 420, 297},
      {{600000, 600, 2200}, "Scale 1:2000, A3 landscape", 420, 297},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.scale);
    CHost fresh;
    CEntity* e = fresh.project().new_entity(TEntityKind::box);
    for (int axis = 0; axis < 3; ++axis) e->set_size(axis, c.extent.items(axis) / 1000);
    const std::string pdf = path("sheet.pdf"), svg = path("sheet.svg");
    write_project(fresh.project(), pdf);
    write_project(fresh.project(), svg);
    const std::string info = pdf_info(pdf);
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    const auto [width, height] = pdf_page_size(info);
    EXPECT_NEAR(width, c.width * points_per_mm, 0.01);
    EXPECT_NEAR(height, c.height * points_per_mm, 0.01);
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find(c.scale), std::string::npos) << text;
    const std::optional<TSvgPicture> picture = read_svg(svg);
    ASSERT_TRUE(picture);
    EXPECT_NEAR(picture->width, c.width * points_per_mm, 0.01);
    ASSERT_EQ(picture->shapes.size(), 3u);
    EXPECT_NEAR(picture->shapes[0].width(), c.extent.x * points_per_mm / printed_scale(text), 0.02);
  }
}

// The PNG is 1600 × 1000 pixels whatever the project, drawing or not.
TEST_F(picture, png_has_its_stated_size) {
  const std::string empty = path("empty.png");
  write_project(host.project(), empty);
  box("Side", nullptr, "OAK", carcass_colour, {0, 0, 0}, {19, 560, 720});
  const std::string one = path("one.PNG");
  write_project(host.project(), one);
  box("Run", nullptr, "OAK", carcass_colour, {0, 0, 0}, {60000, 600, 2200});
  const std::string long_run = path("long.png");
  write_project(host.project(), long_run);
  for (const std::string& file : {empty, one, long_run}) {
    SCOPED_TRACE(file);
    const std::string bytes = read_file_bytes(file);
    EXPECT_EQ(png_size(bytes), (std::pair{picture_png_width, picture_png_height}));
    EXPECT_TRUE(png_decodes(bytes, 1600, 1000));
  }
}

// A project with nothing to draw gets a page that says so, in each format.
TEST_F(picture, a_project_without_boxes_or_meshes_gets_a_page_that_says_so) {
  struct TCase {
    const char* what;
    std::function<void(CProject&)> fill;
    const char* notice;
  };
  const TCase cases[] = {
      {"empty", [](CProject&) {}, "The project is empty."},
      {"articles and groups only",
       [](CProject& p) { p.new_entity(TEntityKind::group)->insert_member(p.new_entity(TEntityKind::article)); },
       "Nothing to draw: the project holds no box and no mesh object."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    CHost fresh;
    c.fill(fresh.project());
    const std::string svg = path("nothing.svg"), pdf = path("nothing.pdf"), png = path("nothing.png");
    for (const std::string& file : {svg, pdf, png})
      write_project(fresh.project(), file, {.picture = {"nothing.bxf2", "0 cabinets"}});
    const std::optional<TSvgPicture> picture = read_svg(svg);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(picture->shapes.empty());
    EXPECT_NEAR(picture->width, 297 * points_per_mm, 0.01);
    EXPECT_TRUE(png_decodes(read_file_bytes(png), 1600, 1000));
    if (!pdf_tools_found()) continue;
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find(c.notice), std::string::npos) << text;
    EXPECT_NE(text.find("nothing.bxf2"), std::string::npos) << text;
    EXPECT_EQ(text.find("Scale"), std::string::npos) << text;
  }
}

// The title and subtitle are the caller's text, printed with control
// characters and broken UTF-8 escaped, a title too long for the page cut
// short; without a title the page says "Project".
TEST_F(picture, titles_are_printed_escaped_and_fitted_to_the_page) {
  if (!pdf_tools_found()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
  box("Side", nullptr, "OAK", carcass_colour, {0, 0, 0}, {19, 560, 720});
  const std::string pdf = path("titled.pdf");
  write_project(host.project(), pdf, {.picture = {"bad\x1b[2J\xff.zip", "1 part\n2 lines"}});
  std::string text = pdf_text(pdf);
  EXPECT_NE(text.find("bad\\x1b[2J\\xff.zip"), std::string::npos) << text;
  EXPECT_NE(text.find("1 part\\n2 lines"), std::string::npos) << text;
  EXPECT_NE(pdf_info(pdf).find("Title:           bad\\x1b[2J\\xff.zip"), std::string::npos);

  std::string names;
  for (int i = 0; i < 100; ++i) names += fmt::format("cabinet-{}.bxf2, ", i);
  write_project(host.project(), pdf, {.picture = {names, ""}});
  text = pdf_text(pdf);
  EXPECT_NE(text.find("cabinet-0.bxf2, cabinet-1.bxf2"), std::string::npos) << text;
  EXPECT_EQ(text.find("cabinet-99.bxf2"), std::string::npos) << text;
  EXPECT_NE(text.find("\u2026"), std::string::npos) << text;

  write_project(host.project(), pdf);
  EXPECT_NE(pdf_text(pdf).find("Project"), std::string::npos);
}

// A point that is not finite through an entity's matrix is refused naming
// the entity, and an existing file stays as it was.
TEST_F(picture, non_finite_points_are_refused_naming_the_entity) {
  CEntity* cabinet = group("Cabinet");
  CEntity* side = box("Side", cabinet, "OAK", carcass_colour, {0, 0, 0}, {19, 560, 720});
  side->set_size(0, 1e10);
  side->set_matrix(float4x4::identity().scale(1e300, 1, 1));
  for (const char* name : {"p.svg", "p.png", "p.pdf"}) {
    const std::string file = path(name);
    write_file_bytes(file, "old");
    EXPECT_THROW_MSG(write_project(host.project(), file), EExport,
                     file + ": box \"Side\" in \"Cabinet\": non-finite bounds")
        << name;
    EXPECT_EQ(read_file_bytes(file), "old");
  }
}

// The legend names each material once, in the order of first use; those
// that do not fit along the page are counted.
TEST_F(picture, the_legend_names_each_material_once_and_counts_those_that_do_not_fit) {
  constexpr int materials = 40;
  for (int i = 0; i < materials; ++i)
    box("Board", nullptr, fmt::format("MATERIAL-{:02}", i).c_str(), {i / 40.0, 0.5, 0.5}, {i * 100.0, 0, 0},
        {100, 500, 700});
  box("Board", nullptr, "MATERIAL-00", {0, 0.5, 0.5}, {0, 600, 0}, {100, 500, 700});  // used again
  const std::string svg = path("legend.svg"), pdf = path("legend.pdf");
  write_project(host.project(), svg);
  write_project(host.project(), pdf);
  const std::optional<TSvgPicture> picture = read_svg(svg);
  ASSERT_TRUE(picture);
  ASSERT_GT(picture->shapes.size(), 2u * (materials + 1));
  const size_t shown = picture->shapes.size() - 2 * (materials + 1);
  EXPECT_GT(shown, 3u);
  EXPECT_LT(shown, size_t(materials));
  EXPECT_EQ(filled_with(*picture, {0, 0.5, 0.5}).size(), 2u * 2 + 1);  // two boards, one swatch
  if (!pdf_tools_found()) GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
  const std::string text = pdf_text(pdf);
  EXPECT_NE(text.find("MATERIAL-00"), std::string::npos) << text;
  EXPECT_NE(text.find(fmt::format("MATERIAL-{:02}", shown - 1)), std::string::npos) << text;
  EXPECT_EQ(text.find(fmt::format("MATERIAL-{:02}", shown)), std::string::npos) << text;
  EXPECT_NE(text.find(fmt::format("and {} more", materials - shown)), std::string::npos) << text;
}
