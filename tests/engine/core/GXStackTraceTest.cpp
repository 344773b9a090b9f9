#include "engine/core/GXStackTrace.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/core/GXException.h"

namespace gxtracetest {
// Not inlined and exported, so the frame carries this name.
__attribute__((noinline)) void RaiseDeepInside(int depth) {
  if (depth == 0) throw gx::EInvalidCall({"Tief", "innen"});
  RaiseDeepInside(depth - 1);
  asm volatile("");
}
}  // namespace gxtracetest

TEST(GXStackTrace, ShowsWhereTheExceptionWasRaisedNotWhereItWasCaught) {
  std::vector<std::string> trace;
  try {
    gxtracetest::RaiseDeepInside(3);
  } catch (const std::exception& e) {
    trace = gx::GXExceptionStackTrace(e);
  }
  ASSERT_GE(trace.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_NE(trace[i].find("gxtracetest::RaiseDeepInside(int)"), std::string::npos) << trace[i];

  // An exception that was never thrown has no recorded stack.
  std::runtime_error notThrown("x");
  EXPECT_TRUE(gx::GXExceptionStackTrace(notThrown).empty());
}
