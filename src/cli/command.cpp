#include "cli/command.h"

#include "automation/compose_error.h"
#include "core/failure.h"
#include "core/printable.h"

namespace corabind::cli {

namespace {
// Enough for a server's reply quoted in full; a runaway one is cut.
constexpr std::size_t kLongestFailure = 1000;
}  // namespace

int RunCommand(std::string_view command, std::ostream& err, const std::function<int()>& job,
               const std::string& about, std::optional<std::int32_t> usage_failure) {
  const auto tell = [&]() -> std::ostream& { return err << "corabind " << command << ": "; };
  try {
    return job();
  } catch (const UsageError& e) {
    tell() << e.text << '\n';
    return kExitUsage;
  } catch (const RunError& e) {
    tell() << e.text << '\n';
  } catch (const automation::ComposeError& e) {
    tell() << e.what() << '\n';
    if (e.usage()) return kExitUsage;
  } catch (const Failure& failure) {
    tell() << (about.empty() ? "" : Printable(about) + ": ")
           << Printable(failure.what(), kLongestFailure) << '\n';
    if (usage_failure && failure.number() == *usage_failure) return kExitUsage;
  } catch (const std::exception& e) {
    tell() << Printable(e.what(), kLongestFailure) << '\n';
  }
  return kExitFailure;
}

}  // namespace corabind::cli
