// Exit statuses shared by every command of the corabind program.
#pragma once

namespace corabind::automation {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job failed (message on stderr)
inline constexpr int kExitUsage = 2;    // the command line was wrong

}  // namespace corabind::automation
