#include "cli/automate.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "automation/automation_session.h"
#include "cli/command.h"
#include "automation/describe.h"
#include "core/failure.h"
#include "core/text.h"

namespace corabind::cli {

using automation::AutomationSession;
using automation::DescribeControl;
using automation::DescribeMarkdown;
using automation::ProtocolErrorResponse;
using automation::Response;
using nlohmann::json;

namespace {

// Reads one line of at most `max` bytes. A longer line is consumed to its
// end and reported, so one bad request cannot exhaust memory or stall.
enum class LineRead { kLine, kTooLong, kEnd };
LineRead ReadLine(std::istream& in, std::string& line, std::size_t max) {
  line.clear();
  bool any = false, too_long = false;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    any = true;
    if (c == '\n') break;
    if (line.size() < max) {
      line.push_back(static_cast<char>(c));
    } else {
      too_long = true;
    }
  }
  if (!any) return LineRead::kEnd;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return too_long ? LineRead::kTooLong : LineRead::kLine;
}

}  // namespace

int RunAutomate(std::istream& in, std::ostream& out, const AutomateOptions& options) {
  AutomationSession session(options.drives);
  // The person running automate may have any file read: a request may
  // compose a mail from any of them.
  session.set_compose(true);
  std::string line;
  for (;;) {
    const LineRead read = ReadLine(in, line, options.max_line_bytes);
    if (read == LineRead::kEnd) break;
    Response response;
    if (read == LineRead::kTooLong) {
      response = ProtocolErrorResponse(
          nullptr, "request line longer than " + std::to_string(options.max_line_bytes) + " bytes");
    } else if (line.find_first_not_of(" \t") == std::string::npos) {
      continue;
    } else {
      response = session.AnswerLine(line);
    }
    out << response.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
  }
  return kExitOk;
}

void AddAutomateCommand(CLI::App& app, int& exit_status) {
  auto* cmd = app.add_subcommand("automate",
                                 "Call the control by name through JSON Lines on stdin/stdout (one "
                                 "process is one loaded library). "
                                 "The protocol is described in docs/automation.md.");
  auto options = std::make_shared<AutomateOptions>();
  cmd->add_option("--drive", options->drives,
                  "Map a drive letter to a host folder, e.g. C=/srv/mail (repeatable)");
  cmd->add_option("--max-line", options->max_line_bytes, "Longest request line taken, in bytes")
      ->capture_default_str();
  auto reference = std::make_shared<bool>(false);
  cmd->add_flag("--reference", *reference,
                "Print the members and dialogs, as the describe request gives them, in Markdown "
                "(the reference part of docs/automation.md) and exit");
  cmd->callback([options, reference, &exit_status] {
    if (*reference) {
      std::cout << DescribeMarkdown(DescribeControl());
      exit_status = kExitOk;
      return;
    }
    try {
      exit_status = RunAutomate(std::cin, std::cout, *options);
    } catch (const Failure& f) {
      std::cerr << "corabind automate: " << ToUtf8(f.description()) << '\n';
      exit_status = kExitFailure;
    }
  });
}

}  // namespace corabind::cli
