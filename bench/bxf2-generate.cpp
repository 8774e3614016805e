// bxf2-generate: writes realistic sample files for benchmarks and trials by
// hand (see bench.generator.h).
//
//   bxf2-generate PARTS FILE.bxf2               a BXF2 file of about PARTS parts
//   bxf2-generate --archive CABINETS FILE.zip   a ZIP archive: a BXF2 file of
//                                               CABINETS cabinets and the meshes
//                                               of their hardware in cadData/
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>

#include "bench.generator.h"

namespace {

constexpr const char* usage = "usage: bxf2-generate PARTS FILE\n       bxf2-generate --archive CABINETS FILE\n";

int write_document(long long parts, const char* path) {
  TGeneratedCounts counts;
  std::string text = generate_bxf2(parts, &counts);
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    std::cerr << path << ": cannot write\n";
    return 1;
  }
  std::cout << counts.parts << " parts, " << counts.links << " links, " << counts.components << " components, "
            << counts.bytes << " bytes\n";
  return 0;
}

int write_zip(long long cabinets, const char* path) {
  try {
    const TGeneratedCounts counts = write_archive(cabinets, path);
    std::cout << counts.cabinets << " cabinets, " << counts.parts << " parts, " << counts.component_links
              << " component links, " << counts.mesh_files << " meshes, " << counts.bytes << " bytes of BXF2, "
              << counts.archive_bytes << " bytes of archive\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--archive") == 0 && std::atoll(argv[2]) > 0)
    return write_zip(std::atoll(argv[2]), argv[3]);
  if (argc == 3 && std::atoll(argv[1]) > 0) return write_document(std::atoll(argv[1]), argv[2]);
  std::cerr << usage;
  return 2;
}
