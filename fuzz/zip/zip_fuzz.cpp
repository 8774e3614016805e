// Fuzz target for extract_archive: every input is written as an archive and
// extracted into a fresh folder with small limits. A refused or damaged
// archive must end in EZipError; any other exception, a crash, or a file
// written beside the extraction folder is a finding.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "import.bxf2.zip.h"
#include "platform.files.h"

namespace {

// The run's folder, deleted when the fuzzer exits normally.
struct TWorkFolder {
  TWorkFolder() : path(temp_folder() + "zip_fuzz_" + guid_to_hex(new_guid())) {
    if (!force_folders(path)) std::abort();
  }
  ~TWorkFolder() { delete_folder(path); }
  std::string path;
};

const std::string& work_folder() {
  static const TWorkFolder folder;
  return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& root = work_folder();
  const std::string archive = root + "/input.zip";
  const std::string out = root + "/out";
  write_file_bytes(archive, std::string(reinterpret_cast<const char*>(data), size));

  TZipLimits limits;
  limits.max_entries = 1000;
  limits.max_entry_size = 1 << 20;
  limits.max_total_size = 4 << 20;
  try {
    extract_archive(archive, out, limits);
  } catch (const EZipError&) {
  }

  // Nothing may land beside the extraction folder.
  for (const auto& item : std::filesystem::directory_iterator(root)) {
    const std::string name = item.path().filename().string();
    if (name != "input.zip" && name != "out") std::abort();
  }
  delete_folder(out);
  return 0;
}
