// Broken internal contracts in the tablebase code end the process with the
// failed condition and the function's name. Nothing a file contains may
// reach one of these: file problems are failure returns.
#pragma once

namespace tablebases {

[[noreturn]] void VTbAssertFailed(const char* text, const char* function);

}  // namespace tablebases

#define TB_ASSERT(cond) ((cond) ? (void)0 : ::tablebases::VTbAssertFailed(#cond, __func__))
