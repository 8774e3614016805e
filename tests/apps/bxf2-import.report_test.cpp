#include "bxf2-import.report.h"

#include <gtest/gtest.h>

#include <zip.h>

#include "bxf2-import.inputs.h"
#include "platform.files.h"

namespace {

const std::string check_failed = "EAssertionFailed: Assertion failure (import.bxf2.plugin, line 199)\n";

TImportFailure failure(HRESULT result, std::string step, std::string logged, bool out_of_memory = false,
                       int64_t objects = 0, int64_t max_objects = 0,
                       std::optional<std::string> temp_folder_problem = std::nullopt) {
  TImportFailure f;
  f.result = result;
  f.last_step = std::move(step);
  f.logged = std::move(logged);
  f.out_of_memory = out_of_memory;
  f.objects = objects;
  f.max_objects = max_objects;
  f.temp_folder_problem = std::move(temp_folder_problem);
  return f;
}

}  // namespace

// The report names the result code, the step and the logged reason, then
// adds what only the program knows; text from files comes out escaped.
TEST(report, failure_lines_add_what_the_program_knows) {
  struct TCase {
    const char* what;
    TImportFailure facts;
    std::vector<std::string> lines;
  };
  const std::string failed = "bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)";
  const std::vector<TCase> cases = {
      {"a reading error",
       failure(E_UNEXPECTED, "Importing BXF2 file (k\x1b[2J.bxf2)",
               "EAssertionFailed: cab\x1b[2J (import.bxf2.types, line 9)\n"),
       {failed, "bxf2-import: while importing k\\x1b[2J.bxf2",
        "EAssertionFailed: cab\\x1b[2J (import.bxf2.types, line 9)"}},
      // A chosen BXF2 file is announced as extracted, but imported as it is.
      {"the most objects reached",
       failure(E_UNEXPECTED, "Extracting file (/f.bxf2)", "EOleSysError: E_OUTOFMEMORY: out of memory\n", false, 50,
               50),
       {failed, "bxf2-import: while importing /f.bxf2", "EOleSysError: E_OUTOFMEMORY: out of memory",
        "bxf2-import: the project holds 50 objects, the most it may hold (--max-objects)"}},
      {"an archive that does not open",
       failure(E_UNEXPECTED, "Extracting file (/a.zip)",
               "EZipError: Cannot open archive \"/b.zip\": Not a zip archive\n"),
       {failed, "bxf2-import: the last step was: Extracting file (/a.zip)",
        "EZipError: Cannot open archive \"/b.zip\": Not a zip archive"}},
      {"the archive named by the reason",
       failure(E_UNEXPECTED, "Extracting file (/a.zip)",
               "EZipError: Cannot open archive \"/a.zip\": Not a zip archive\n"),
       {failed, "EZipError: Cannot open archive \"/a.zip\": Not a zip archive"}},
      {"memory ran out in the plug-in",
       failure(E_UNEXPECTED, "", "std::bad_alloc: std::bad_alloc\n", false, 10, 50),
       {failed, "std::bad_alloc: std::bad_alloc", "bxf2-import: out of memory"}},
      {"memory ran out where nothing was logged",
       failure(E_FAIL, "", "", true),
       {"bxf2-import: the import failed (E_FAIL: unspecified error)", "bxf2-import: out of memory"}},
      {"an unusable temporary folder",
       failure(E_UNEXPECTED, "", check_failed, false, 0, 50, "\"/gone/\" cannot be used (No such file or directory)"),
       {failed, "EAssertionFailed: Assertion failure (import.bxf2.plugin, line 199)",
        "bxf2-import: the temporary folder \"/gone/\" cannot be used (No such file or directory)"}},
      {"another failed check with a sound temporary folder",
       failure(E_UNEXPECTED, "", check_failed),
       {failed, "EAssertionFailed: Assertion failure (import.bxf2.plugin, line 199)"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(failure_lines(c.facts), c.lines);
  }
  EXPECT_TRUE(failed_command_check(check_failed));
  EXPECT_FALSE(failed_command_check("EAssertionFailed: Assertion failure (import.bxf2.import, line 152)\n"));
}

// Where reading stopped, from the debug output, names the file: the step
// need not, and the reader's check is offered.
TEST(report, a_place_in_the_file_replaces_the_step_and_offers_the_check) {
  TImportFailure f = failure(E_UNEXPECTED, "Extracting file (/data/my kitchen.bxf2)", "EParse: \n");
  f.debug_output = {"/data/my kitchen.bxf2:3:5: in bxf/head/comment(): a comment where an element was expected"};
  EXPECT_EQ(
      failure_lines(f),
      (std::vector<std::string>{
          "bxf2-import: the import failed (E_UNEXPECTED: catastrophic failure)", "EParse: ",
          "bxf2-import: /data/my kitchen.bxf2:3:5: in bxf/head/comment(): a comment where an element was expected",
          "bxf2-import: to list every problem of the file: bxf2-inspect --check '/data/my kitchen.bxf2'"}));
}

TEST(report, a_folder_that_cannot_hold_a_folder_says_why) {
  const std::string root = temp_folder() + "bxf2_import_report_" + guid_to_hex(new_guid());
  ASSERT_TRUE(force_folders(root));
  EXPECT_EQ(folder_problem(root), std::nullopt);
  EXPECT_EQ(folder_problem(root + "/missing"), "\"" + root + "/missing\" cannot be used (No such file or directory)");
  write_file_bytes(root + "/file", "x");
  EXPECT_EQ(folder_problem(root + "/file"), "\"" + root + "/file\" cannot be used (Not a directory)");
  EXPECT_EQ(list_files(root, "*").size(), 1u);  // the probe is gone
  delete_folder(root);
}

namespace {

// An archive holding `names`, each with a little text.
void write_archive(const std::string& path, const std::vector<std::string>& names) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  ASSERT_NE(archive, nullptr);
  for (const std::string& name : names) {
    zip_source_t* source = zip_source_buffer(archive, "<bxf/>", 6, 0);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

const std::string run_folder = "/tmp/bxf2-import-run/";
const std::string command_folder = run_folder + "0123456789ABCDEF0123456789ABCDEF/";

}  // namespace

// Paths in the command's temporary folder become the archive's members;
// each mesh that gave nothing is one line with its placements, and
// Meshport's reason when it sent one.
TEST(report, left_out_meshes_are_named_in_the_archive_with_the_converters_reason) {
  const std::string root = temp_folder() + "bxf2_import_report_" + guid_to_hex(new_guid());
  ASSERT_TRUE(force_folders(root));
  const std::string zip = root + "/k.zip";
  write_archive(zip, {"Kitchen.bxf2", "cadData/4711_K1.dae", "cadData/1105_K2.dae", "cadData/9_X.dae"});
  CChosenFiles files({zip});
  files.set_temp_prefix(run_folder);
  EXPECT_EQ(files.user_text("XML document not loaded: " + command_folder + "kitchen.bxf2:1:19: mismatch"),
            "XML document not loaded: " + zip + "(Kitchen.bxf2):1:19: mismatch");
  EXPECT_EQ(files.user_text("\"" + command_folder + "cadData/4711_K1.meb\""), "\"" + zip + "(cadData/4711_K1.dae)\"");

  const auto missing = [&](const std::string& stem, const std::string& component) {
    return "kitchen.bxf2: component mesh \"" + command_folder + "cadData/" + stem + ".meb\" not found; component \"" +
           component + "\" skipped\n";
  };
  const std::string logged = missing("4711_K1", "handle") + missing("4711_K1", "handle") + missing("1105_K2", "hinge") +
                             missing("3_Y", "shelf") +
                             "kitchen.bxf2: machining \"m\" of component \"handle\" is not a cut; skipped\n" +
                             "kitchen.bxf2: machining \"m\" of component \"handle\" is not a cut; skipped\n";
  const std::vector<std::string> debug = {"meshport: " + command_folder + "cadData/4711_K1.dae: no mesh in the scene",
                                          "meshport: " + command_folder + "cadData/9_X.dae: unreadable (bad XML)",
                                          "XML document not loaded: elsewhere"};
  EXPECT_EQ(skipped_lines(logged, debug, files),
            (std::vector<std::string>{
                "bxf2-import: " + zip +
                    "(cadData/4711_K1.dae) could not be converted (no mesh in the scene): 2 "
                    "component placements skipped",
                "bxf2-import: " + zip + "(cadData/1105_K2.dae) could not be converted: 1 component placement skipped",
                "bxf2-import: " + zip + "(cadData/3_Y.dae) is missing: 1 component placement skipped",
                "bxf2-import: " + zip + "(cadData/9_X.dae) could not be converted (unreadable (bad XML))",
                "bxf2-import: " + zip +
                    "(Kitchen.bxf2): machining \"m\" of component \"handle\" is not a cut; skipped "
                    "(2 times)"}));
  delete_folder(root);
}
