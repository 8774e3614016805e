#include "picture.reading.h"

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>

#include "platform.xmldom.h"

namespace {

std::string attribute(const TXMLNode& element, const std::string& name) {
  const TXMLNamedNodeMap attributes = element.attributes();
  for (int32_t i = 0; i < attributes.length(); ++i)
    if (attributes.item(i).node_name() == name) return attributes.item(i).text();
  return {};
}

// "rgb(62.7%,51.8%,54.1%)" after "fill:" in a style attribute.
bool fill_colour(const std::string& style, TSvgShape& shape) {
  const size_t at = style.find("fill:rgb(");
  if (at == std::string::npos) return false;
  if (std::sscanf(style.c_str() + at, "fill:rgb(%lf%%,%lf%%,%lf%%)", &shape.red, &shape.green, &shape.blue) != 3)
    return false;
  shape.red /= 100;
  shape.green /= 100;
  shape.blue /= 100;
  return true;
}

// The box of the points of a path's data (absolute commands, as cairo
// writes them), through "matrix(a,b,c,d,e,f)" when there is one.
void path_box(const std::string& data, const std::string& transform, TSvgShape& shape) {
  double m[6] = {1, 0, 0, 1, 0, 0};
  if (!transform.empty())
    std::sscanf(transform.c_str(), "matrix(%lf,%lf,%lf,%lf,%lf,%lf)", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]);
  std::vector<double> numbers;
  for (const char* p = data.c_str(); *p;) {
    char* end = nullptr;
    const double value = std::strtod(p, &end);
    if (end != p) {
      numbers.push_back(value);
      p = end;
    } else {
      ++p;  // a command letter, a space or a comma
    }
  }
  bool first = true;
  for (size_t i = 0; i + 1 < numbers.size(); i += 2) {
    const double x = m[0] * numbers[i] + m[2] * numbers[i + 1] + m[4];
    const double y = m[1] * numbers[i] + m[3] * numbers[i + 1] + m[5];
    shape.left = first ? x : std::min(shape.left, x);
    shape.right = first ? x : std::max(shape.right, x);
    shape.top = first ? y : std::min(shape.top, y);
    shape.bottom = first ? y : std::max(shape.bottom, y);
    first = false;
  }
}

// What `command` prints on standard output, or "" when it fails.
std::string output_of(const std::string& command) {
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  return ::pclose(pipe) == 0 ? text : std::string();
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

std::optional<TSvgPicture> read_svg(const std::string& path) {
  TRef<IXMLDOMDocument> dom = create_dom_document();
  dom->set_validate_on_parse(false);
  if (!dom->load(path)) return std::nullopt;
  const TXMLNode root = dom->document_element();
  if (root.node_name() != "svg") return std::nullopt;
  TSvgPicture picture;
  picture.width = std::atof(attribute(root, "width").c_str());
  picture.height = std::atof(attribute(root, "height").c_str());
  std::function<void(const TXMLNode&)> walk = [&](const TXMLNode& element) {
    const TXMLNodeList children = element.child_nodes();
    for (int32_t i = 0; i < children.length(); ++i) {
      const TXMLNode child = children.item(i);
      if (child.node_type() != NODE_ELEMENT || child.node_name() == "defs") continue;
      TSvgShape shape;
      if (child.node_name() == "path" && fill_colour(attribute(child, "style"), shape)) {
        path_box(attribute(child, "d"), attribute(child, "transform"), shape);
        picture.shapes.push_back(shape);
      }
      walk(child);
    }
  };
  walk(root);
  return picture;
}

std::optional<std::pair<int, int>> png_size(const std::string& bytes) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return std::nullopt;
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | uint8_t(bytes[at + i]);
    return int(v);
  };
  return std::pair{u32(16), u32(20)};
}

bool png_decodes(const std::string& bytes, int width, int height) {
  struct TReader {
    const std::string& bytes;
    size_t at = 0;
  } reader{bytes};
  cairo_surface_t* image = cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<TReader*>(closure);
        if (r->bytes.size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, r->bytes.data() + r->at, length);
        r->at += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &reader);
  const bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
                  cairo_image_surface_get_width(image) == width && cairo_image_surface_get_height(image) == height;
  cairo_surface_destroy(image);
  return ok;
}

bool pdf_tools_found() {
  const std::string pdfinfo = PDFINFO_PROGRAM, pdftotext = PDFTOTEXT_PROGRAM;
  return !pdfinfo.empty() && !pdftotext.empty();
}

std::string pdf_info(const std::string& path) {
  return output_of(quoted(PDFINFO_PROGRAM) + " " + quoted(path) + " 2>/dev/null");
}

std::string pdf_text(const std::string& path) {
  return output_of(quoted(PDFTOTEXT_PROGRAM) + " " + quoted(path) + " - 2>/dev/null");
}

std::pair<double, double> pdf_page_size(const std::string& info) {
  static const std::regex size(R"(Page size: +([0-9.]+) x ([0-9.]+) pts)");
  std::smatch m;
  if (!std::regex_search(info, m, size)) return {0, 0};
  return {std::stod(m[1]), std::stod(m[2])};
}
