// Reading the host's pictures back in tests: the filled shapes of an SVG
// (through the platform's XML DOM), the size of a PNG, and the pages and
// text of a PDF (through poppler's pdfinfo and pdftotext, when installed).
#pragma once

#include <optional>
#include <string>
#include <vector>

// A filled shape drawn on an SVG page: its fill colour (0 to 1) and the box
// of its points in page units (points), its own transform applied.
struct TSvgShape {
  double red = 0, green = 0, blue = 0;
  double left = 0, top = 0, right = 0, bottom = 0;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};

struct TSvgPicture {
  double width = 0, height = 0;   // the root's width and height, in points
  std::vector<TSvgShape> shapes;  // every <path> filled with a colour, outside <defs>, in document order
};

// The SVG file `path` read through the platform's XML DOM; nothing when it
// does not load or its root is not <svg>.
std::optional<TSvgPicture> read_svg(const std::string& path);

// Width and height from a PNG's header; nothing when `bytes` is not a PNG.
std::optional<std::pair<int, int>> png_size(const std::string& bytes);
// True when `bytes` decodes as a PNG image (through cairo) of that size.
bool png_decodes(const std::string& bytes, int width, int height);

// Whether pdfinfo and pdftotext were found when the tests were configured.
bool pdf_tools_found();
// What pdfinfo prints for the file, or "" when it fails.
std::string pdf_info(const std::string& path);
// The text pdftotext finds in the file, or "" when it fails.
std::string pdf_text(const std::string& path);
// The page size in points pdfinfo reports ("Page size: 841.89 x 595.276 pts"),
// 0 × 0 when it reports none.
std::pair<double, double> pdf_page_size(const std::string& info);
