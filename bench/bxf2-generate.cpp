// bxf2-generate PARTS FILE: writes a realistic BXF2 file with about PARTS
// parts (see bench.generator.h).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "bench.generator.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoll(argv[1]) <= 0) {
    std::cerr << "usage: bxf2-generate PARTS FILE\n";
    return 2;
  }
  TGeneratedCounts counts;
  std::string text = generate_bxf2(std::atoll(argv[1]), &counts);
  std::ofstream out(argv[2], std::ios::binary);
  out << text;
  if (!out) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  std::cout << counts.parts << " parts, " << counts.links << " links, " << counts.components << " components, "
            << counts.bytes << " bytes\n";
  return 0;
}
