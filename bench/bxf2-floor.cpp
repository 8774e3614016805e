// The floor of an archive's import: the least work any import of it must do,
// with the same libraries and nothing else. It unpacks every member of the
// ZIP archive with libzip into a folder, steps libxml2's streaming reader
// through every top-level .bxf2 file (the DOM adaptor's options), and reads
// every cadData/*.dae with assimp (the flags Meshport reads with), keeping
// nothing: no tree, no model, no host, no output. import_e2e_bench sets
// bxf2-import against this program, process against process.
//
//   bxf2-floor ARCHIVE.zip FOLDER    # FOLDER must exist and be empty
//
// Exit status 0 when everything read, 1 otherwise (the reason on standard
// error).
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <zip.h>
#include <assimp/Importer.hpp>

#include "bench.xml.h"

namespace fs = std::filesystem;

namespace {

// Unpacks every file member of `archive` below `folder`; returns their paths.
std::vector<fs::path> unpack(const std::string& archive, const fs::path& folder) {
  int error = 0;
  zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  if (!zip) throw std::runtime_error(archive + ": cannot open the archive");
  std::vector<fs::path> files;
  std::vector<char> buffer(1 << 16);
  const zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const std::string name = zip_get_name(zip, zip_uint64_t(i), 0);
    if (name.empty() || name.back() == '/') continue;
    const fs::path target = folder / name;
    fs::create_directories(target.parent_path());
    zip_file_t* member = zip_fopen_index(zip, zip_uint64_t(i), 0);
    if (!member) throw std::runtime_error(archive + ": cannot read " + name);
    std::ofstream out(target, std::ios::binary);
    zip_int64_t n;
    while ((n = zip_fread(member, buffer.data(), buffer.size())) > 0) out.write(buffer.data(), std::streamsize(n));
    zip_fclose(member);
    if (n < 0 || !out) throw std::runtime_error(archive + ": cannot unpack " + name);
    files.push_back(target);
  }
  zip_close(zip);
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bxf2-floor ARCHIVE.zip FOLDER\n");
    return 2;
  }
  try {
    const fs::path folder = argv[2];
    for (const fs::path& file : unpack(argv[1], folder)) {
      const fs::path relative = file.lexically_relative(folder);
      if (relative.extension() == ".bxf2" && relative.parent_path().empty()) {
        if (bare_parse_file(file.string()) < 0) throw std::runtime_error(file.string() + ": not well-formed");
      } else if (relative.extension() == ".dae") {
        Assimp::Importer importer;
        importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
        if (!importer.ReadFile(file.string(),
                               aiProcess_Triangulate | aiProcess_ValidateDataStructure | aiProcess_SortByPType))
          throw std::runtime_error(file.string() + ": " + importer.GetErrorString());
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bxf2-floor: %s\n", e.what());
    return 1;
  }
  return 0;
}
