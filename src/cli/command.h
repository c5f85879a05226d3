// How the corabind subcommands plug into the command line: each adds its
// subcommand to the app and, when it runs, stores its exit status.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "automation/exit_status.h"

namespace corabind::cli {

using automation::kExitFailure;
using automation::kExitOk;
using automation::kExitUsage;

// Failures of a command: a wrong command line, or a job that failed. Their
// texts are written as they stand (the parts from the input made Printable
// where they were put together).
struct UsageError {
  std::string text;
};
struct RunError {
  std::string text;
};

// Runs a subcommand's job and gives its exit status, telling a failure on
// `err` after "corabind COMMAND: ": UsageError (and a ComposeError the
// request caused) is kExitUsage, the rest
// kExitFailure. A Failure's description (text from the input, or a server's
// reply) is made Printable, after `about` (what it concerns, such as the
// mail's name) when given; its number `usage_failure`, when given, counts
// as a usage error.
int RunCommand(std::string_view command, std::ostream& err, const std::function<int()>& job,
               const std::string& about = {}, std::optional<std::int32_t> usage_failure = {});

void AddAutomateCommand(CLI::App& app, int& exit_status);

}  // namespace corabind::cli
