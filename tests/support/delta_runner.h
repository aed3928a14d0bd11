// Runs the decoder on streams held in memory.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/delta_decoder.h"

namespace ztx::testing {

struct StreamRun {
  DeltaResult result;
  std::array<std::uint32_t, kStreamCount> left{};  // stream bytes not consumed
};

inline StreamRun RunDelta(FileLayer& files, FileHandle source, FileHandle output,
                          const std::array<std::string, kStreamCount>& streams, const SourceVersion& v,
                          std::uint32_t output_size, UiHooks& ui) {
  std::vector<std::unique_ptr<MemorySource>> memory;
  DeltaFiles io{source, output, {}};
  for (int i = 0; i < kStreamCount; ++i) {
    memory.push_back(std::make_unique<MemorySource>(streams[i]));
    io.streams[i] = memory.back().get();
  }
  StreamRun run;
  run.result = ApplyDelta(files, io, v, output_size, ui);
  for (int i = 0; i < kStreamCount; ++i) run.left[i] = memory[i]->remaining();
  return run;
}

}  // namespace ztx::testing
