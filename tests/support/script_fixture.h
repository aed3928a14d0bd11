// A session whose patch script is given as bytes, without a container around it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/session.h"
#include "platform/os.h"

namespace ztx::testing {

// Puts `bytes` into a fresh scratch file that becomes the session's script, with
// the location block at its start.
inline void LoadScript(Session& session, const std::string& bytes) {
  session.script.Attach(session.files.CreateScratchFile());
  ASSERT_NE(session.script.handle(), kNullHandle);
  ASSERT_TRUE(session.files.WriteBytes(session.script.handle(), bytes.data(),
                                       static_cast<std::uint32_t>(bytes.size())));
  session.location_block_start = 0;
}

}  // namespace ztx::testing
