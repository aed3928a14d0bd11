// Tells whether the tests run under Wine, for the few places where Wine does not
// behave as Windows does and the test must say so instead of failing.
#pragma once

namespace ztx::testing {

bool RunningUnderWine();

}  // namespace ztx::testing
