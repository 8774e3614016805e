#include "bxf2-import.options.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "bxf.config.h"
#include "host.project.h"
#include "platform.files.h"
#include "sysutils.h"

namespace {

// Runs the parser on `args` (after the program name).
struct TRun {
  TParsedCommandLine parsed;
  std::string out, err;
};
TRun run(std::vector<std::string> args) {
  args.insert(args.begin(), "bxf2-import");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  TRun result;
  result.parsed = parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

class options : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp_folder() + "bxf2_import_options_" + guid_to_hex(new_guid());
    ASSERT_TRUE(force_folders(root));
    zip = root + "/kitchen.zip";
    bxf2 = root + "/one.bxf2";
    write_file_bytes(zip, "PK");
    write_file_bytes(bxf2, "<bxf/>");
  }
  void TearDown() override { delete_folder(root); }
  std::string root, zip, bxf2;
};

}  // namespace

TEST_F(options, every_option_is_read) {
  const TRun r = run({"-o",          "a.glb",     zip,     "--output",     "b.JSON",       "-o",
                      "c.svg",       "-o",        "d.Png", "-o",           "e.PDF",        "--placement-center",
                      "1.5,-2,0.25", "--warning", "tick",  "--plugin-dir", "/opt/plugins", "--without-meshport",
                      "-q",          bxf2});
  ASSERT_TRUE(r.parsed.options) << r.err;
  const TImportOptions& o = *r.parsed.options;
  EXPECT_EQ(o.files, (std::vector<std::string>{zip, bxf2}));
  ASSERT_EQ(o.outputs.size(), 5u);
  EXPECT_EQ(o.outputs[0].path, "a.glb");
  EXPECT_EQ(o.outputs[0].format, TOutputFormat::glb);
  EXPECT_EQ(o.outputs[1].path, "b.JSON");
  EXPECT_EQ(o.outputs[1].format, TOutputFormat::json);
  EXPECT_EQ(o.outputs[2].format, TOutputFormat::svg);
  EXPECT_EQ(o.outputs[3].format, TOutputFormat::png);
  EXPECT_EQ(o.outputs[4].path, "e.PDF");
  EXPECT_EQ(o.outputs[4].format, TOutputFormat::pdf);
  EXPECT_EQ(o.placement_center, (std::array<double, 3>{1.5, -2, 0.25}));
  EXPECT_EQ(o.warning, TWarningAnswer::tick);
  EXPECT_EQ(o.plugin_dir, "/opt/plugins");
  EXPECT_TRUE(o.without_meshport);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(run({"--max-objects", "50", zip}).parsed.options->max_objects, 50);
}

// Every FILE is checked before anything runs: what the import command would
// stop at without a word, or not find, is a usage error naming the file.
TEST_F(options, files_the_import_would_not_take_are_usage_errors_naming_them) {
  write_file_bytes(root + "/KITCHEN.ZIP", "PK");
  write_file_bytes(root + "/notes.txt", "x");
  write_file_bytes(root + "/kitchen", "PK");
  write_file_bytes(root + "/one.Bxf2", "<bxf/>");
  write_file_bytes(root + "/esc\x1b[2J.txt", "x");
  force_folders(root + "/folder.zip");
  ASSERT_EQ(::mkfifo((root + "/pipe.bxf2").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(zip.c_str(), (root + "/link.zip").c_str()), 0);
  const std::string extension =
      "is neither a ZIP archive nor a BXF2 file (the name must end in \".zip\" or \".bxf2\", in lower case)";
  const struct {
    std::string name, reason;
  } cases[] = {
      {"missing.zip", "does not exist"},
      {"folder.zip", "is a folder, not a file"},
      {"pipe.bxf2", "is not a regular file"},
      {"notes.txt", extension},
      {"KITCHEN.ZIP", extension},
      {"one.Bxf2", extension},
      {"kitchen", extension},
      {"esc\x1b[2J.txt", extension},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = root + "/" + c.name;
    EXPECT_EQ(input_file_problem(path), c.reason);
    const TRun r = run({zip, path, bxf2});  // the first file is fine: all are checked
    EXPECT_FALSE(r.parsed.options);
    EXPECT_EQ(r.parsed.exit_status, exit_usage);
    EXPECT_NE(r.err.find("FILE: \"" + printable_text(path) + "\" " + c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  }
  // A link to a regular file is that file.
  EXPECT_EQ(input_file_problem(root + "/link.zip"), std::nullopt);
  EXPECT_TRUE(run({root + "/link.zip"}).parsed.options);
}

TEST(options_defaults, the_most_objects_are_the_hosts_own_default) {
  EXPECT_EQ(TImportOptions().max_objects, kDefaultMaxObjects);
}

TEST_F(options, defaults) {
  const TRun r = run({zip});
  ASSERT_TRUE(r.parsed.options) << r.err;
  const TImportOptions& o = *r.parsed.options;
  EXPECT_TRUE(o.outputs.empty());
  EXPECT_EQ(o.placement_center, (std::array<double, 3>{0, 0, 0}));
  EXPECT_FALSE(o.warning);
  EXPECT_EQ(o.plugin_dir, "");
  EXPECT_FALSE(o.without_meshport);
  EXPECT_FALSE(o.quiet);
  EXPECT_FALSE(o.interactive);
  // Without FILEs the files are asked on the terminal, and only when asked to.
  const TRun none = run({});
  EXPECT_FALSE(none.parsed.options);
  EXPECT_EQ(none.parsed.exit_status, exit_usage);
  EXPECT_EQ(none.err,
            "bxf2-import: no FILE given: name the files to import, or choose them on the terminal with --interactive\n"
            "Try 'bxf2-import --help' for more information.\n");
  const TRun asked = run({"--interactive"});
  ASSERT_TRUE(asked.parsed.options) << asked.err;
  EXPECT_TRUE(asked.parsed.options->interactive);
  EXPECT_TRUE(asked.parsed.options->files.empty());
}

TEST_F(options, standard_output_takes_one_output_in_the_format_given) {
  const TRun json = run({"-o", "-", "-o", "a.glb", zip});
  ASSERT_TRUE(json.parsed.options) << json.err;
  ASSERT_EQ(json.parsed.options->outputs.size(), 2u);
  EXPECT_EQ(json.parsed.options->outputs[0].path, "-");
  EXPECT_EQ(json.parsed.options->outputs[0].format, TOutputFormat::json);
  EXPECT_EQ(json.parsed.options->outputs[1].format, TOutputFormat::glb);
  const TRun glb = run({"--format", "glb", "-o", "-", zip});
  ASSERT_TRUE(glb.parsed.options) << glb.err;
  EXPECT_EQ(glb.parsed.options->outputs[0].format, TOutputFormat::glb);
  const TRun twice = run({"-o", "-", "-o", "-", zip});
  EXPECT_EQ(twice.parsed.exit_status, exit_usage);
  EXPECT_EQ(twice.err.substr(0, twice.err.find('\n')),
            "bxf2-import: --output: standard output (-) can take one output only");
  const TRun format = run({"--format", "obj", "-o", "-", zip});
  EXPECT_EQ(format.err.substr(0, format.err.find('\n')), "bxf2-import: --format: \"obj\" is neither json nor glb");
}

TEST_F(options, warning_answers) {
  for (const auto& [text, answer] : {std::pair{"ok", TWarningAnswer::ok}, std::pair{"tick", TWarningAnswer::tick},
                                     std::pair{"close", TWarningAnswer::close}}) {
    const TRun r = run({"--warning", text, zip});
    ASSERT_TRUE(r.parsed.options) << r.err;
    EXPECT_EQ(r.parsed.options->warning, answer);
  }
}

TEST_F(options, usage_errors_exit_with_2_and_say_why) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // part of what goes to standard error
  };
  const std::vector<Case> cases = {
      {{"-o", "a.gltf", "ZIP"}, "\"a.gltf\" is none of .glb, .json, .svg, .png and .pdf"},
      {{"-o", "glb", "ZIP"}, "\"glb\" is none of .glb, .json, .svg, .png and .pdf"},
      {{"-o", "dir.glb/x", "ZIP"}, "\"dir.glb/x\" is none of .glb, .json, .svg, .png and .pdf"},
      {{"-o", "plan.jpg", "ZIP"}, "\"plan.jpg\" is none of .glb, .json, .svg, .png and .pdf"},
      {{"--placement-center", "1,2", "ZIP"}, "\"1,2\" is not three numbers X,Y,Z"},
      {{"--placement-center", "1;2;3", "ZIP"}, "\"1;2;3\" is not three numbers X,Y,Z"},
      {{"--placement-center", "1,2,3,4", "ZIP"}, "\"1,2,3,4\" is not three numbers X,Y,Z"},
      {{"--warning", "yes", "ZIP"}, "bxf2-import: --warning: \"yes\" is none of ok, tick, close\n"},
      {{"--max-objects", "0", "ZIP"}, "bxf2-import: --max-objects: \"0\" is not a positive whole number\n"},
      {{"--max-objects", "many", "ZIP"}, "bxf2-import: --max-objects: \"many\" is not a positive whole number\n"},
      {{"--unknown", "ZIP"}, "--unknown"},
      {{"-o"}, "--output"},
  };
  for (Case c : cases) {
    for (std::string& arg : c.args) {
      if (arg == "ZIP") arg = zip;
      if (arg.rfind("ROOT", 0) == 0) arg = root + arg.substr(4);
    }
    if (c.error == "ROOT") c.error = root;
    SCOPED_TRACE(c.args.front());
    const TRun r = run(c.args);
    EXPECT_FALSE(r.parsed.options);
    EXPECT_EQ(r.parsed.exit_status, exit_usage);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    // One line naming the program, then the pointer to --help.
    EXPECT_EQ(r.err.rfind("bxf2-import: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nTry 'bxf2-import --help' for more information.\n"), std::string::npos) << r.err;
  }
}

TEST_F(options, help_lists_the_options_and_the_exit_statuses_and_exits_with_0) {
  const TRun r = run({"--help"});
  EXPECT_FALSE(r.parsed.options);
  EXPECT_EQ(r.parsed.exit_status, exit_success);
  for (const char* option :
       {"Usage: bxf2-import [OPTIONS] [FILE...]\n", "\n  -o,--output PATH ", "\n  --format json|glb ",
        "\n  --placement-center X,Y,Z ", "\n  --warning ok|tick|close ", "\n  --interactive ", "\n  --plugin-dir DIR ",
        "\n  --without-meshport ", "\n  --max-objects N ", "\n  -q,--quiet ", "\n  FILE ... ", "\nExit status:\n  0 ",
        "\n  1 ", "\n  2 ", "\n  130 "})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  // None of the parser's own annotations.
  for (const char* noise : {"TEXT", "{ok,tick,close}", ":POSITIVE", "REQUIRED", "INT"})
    EXPECT_EQ(r.out.find(noise), std::string::npos) << noise;
}

TEST_F(options, version_prints_the_project_version_and_exits_with_0) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"}, {"--version", zip}}) {
    const TRun r = run(args);
    EXPECT_FALSE(r.parsed.options);
    EXPECT_EQ(r.parsed.exit_status, exit_success);
    EXPECT_EQ(r.out, std::string("bxf2-import ") + bxf_version + "\n");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_NE(run({"--help"}).out.find("--version"), std::string::npos);
}

TEST(options_point, numbers_are_read_without_the_locale) {
  EXPECT_EQ(parse_point("0,0,0"), (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(parse_point("-1.25,2e1,3"), (std::array<double, 3>{-1.25, 20, 3}));
  for (const char* bad : {"", "1,2", "1,,2", "1, 2,3", "1,2,3,", "a,b,c", "1.5.2,0,0", "inf,0,0", "nan,0,0"})
    EXPECT_FALSE(parse_point(bad)) << bad;
}
