#include "bxf2-import.report.h"

#include <gtest/gtest.h>

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
       failure(E_UNEXPECTED, "Importing BXF2 file (k\x1b[2J.bxf2)", "EAssertionFailed: cab\x1b[2J (import.bxf2.types, line 9)\n"),
       {failed, "bxf2-import: while importing k\\x1b[2J.bxf2",
        "EAssertionFailed: cab\\x1b[2J (import.bxf2.types, line 9)"}},
      // A chosen BXF2 file is announced as extracted, but imported as it is.
      {"the most objects reached",
       failure(E_UNEXPECTED, "Extracting file (/f.bxf2)", "EOleSysError: E_OUTOFMEMORY: out of memory\n", false, 50, 50),
       {failed, "bxf2-import: while importing /f.bxf2", "EOleSysError: E_OUTOFMEMORY: out of memory",
        "bxf2-import: the project holds 50 objects, the most it may hold (--max-objects)"}},
      {"an archive that does not open",
       failure(E_UNEXPECTED, "Extracting file (/a.zip)", "EZipError: Cannot open archive \"/b.zip\": Not a zip archive\n"),
       {failed, "bxf2-import: the last step was: Extracting file (/a.zip)",
        "EZipError: Cannot open archive \"/b.zip\": Not a zip archive"}},
      {"the archive named by the reason",
       failure(E_UNEXPECTED, "Extracting file (/a.zip)", "EZipError: Cannot open archive \"/a.zip\": Not a zip archive\n"),
       {failed, "EZipError: Cannot open archive \"/a.zip\": Not a zip archive"}},
      {"memory ran out in the plug-in", failure(E_UNEXPECTED, "", "std::bad_alloc: std::bad_alloc\n", false, 10, 50),
       {failed, "std::bad_alloc: std::bad_alloc", "bxf2-import: out of memory"}},
      {"memory ran out where nothing was logged", failure(E_FAIL, "", "", true),
       {"bxf2-import: the import failed (E_FAIL: unspecified error)", "bxf2-import: out of memory"}},
      {"an unusable temporary folder",
       failure(E_UNEXPECTED, "", check_failed, false, 0, 50, "\"/gone/\" cannot be used (No such file or directory)"),
       {failed, "EAssertionFailed: Assertion failure (import.bxf2.plugin, line 199)",
        "bxf2-import: the temporary folder \"/gone/\" cannot be used (No such file or directory)"}},
      {"another failed check with a sound temporary folder", failure(E_UNEXPECTED, "", check_failed),
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
  EXPECT_EQ(failure_lines(f),
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
