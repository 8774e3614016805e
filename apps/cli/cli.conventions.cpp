#include "cli.conventions.h"

#include <memory>
#include <ostream>

namespace {

class CCleanFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    const std::string& text = option->get_option_text();
    return text.empty() ? std::string() : " " + text;
  }
};

}  // namespace

void use_clean_help(CLI::App& app, const std::string& footer) {
  auto formatter = std::make_shared<CCleanFormatter>();
  formatter->column_width(28);
  app.formatter(formatter);
  app.footer(footer);
}

int answer_parse_error(const CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err) {
  if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
    // --help and --version come as errors that end the program well.
    if (dynamic_cast<const CLI::CallForHelp*>(&error) || dynamic_cast<const CLI::CallForAllHelp*>(&error))
      out << app.help();
    else
      out << error.what() << '\n';
    return 0;
  }
  err << app.get_name() << ": " << error.what() << '\n'
      << "Try '" << app.get_name() << " --help' for more information.\n";
  return cli_usage_status;
}
