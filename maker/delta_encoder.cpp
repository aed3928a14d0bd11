// The delta encoder, in three steps.
//
// 1. Regions. A scan over the new file in the manner of bsdiff: a suffix array
//    of the old file (and a hash chain over the new file's own past, since the
//    decoder's address space goes on into the output) gives the longest exact
//    match at a position; a match is taken when it beats the current alignment
//    by more than a few bytes (two scans with different margins run at once,
//    and the one whose first trial compresses better goes on), and each
//    alignment is stretched forwards and backwards over stretches where at
//    least half of the bytes agree. The
//    result is a list of regions: new bytes that approximate the address space
//    at one offset, followed by new bytes that match nothing.
// 2. Commands. Each region is cut into copies (exact runs of at least
//    `min_copy` bytes) with a tail behind each (the few differing bytes, as
//    differences to the address space), and one insert between two copies that
//    holds the rest: a region's longer gaps (added to the bytes at the same
//    offset, which is where an insert's base points), the unmatched bytes and
//    the next region's start. Each insert chunk is added or plain, whichever
//    leaves more zero bytes.
// 3. Parameters. Copy threshold and tail length (one per copy, or one for the
//    whole file), then chunk size, then flags are tried in rounds; the set
//    whose streams compress smallest with raw DEFLATE wins (at a level that
//    ranks as the strongest does, in a fraction of its time). A file of more
//    than 2 MiB is ranked on its first MiB, and the winner tried on the whole
//    file against the first choice.
//
// Every read the decoder will make is checked here against what exists at that
// moment (the source, and the output written so far); a tail or chunk that
// would read beyond it is not emitted in that form.
#include "maker/delta_encoder.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <span>
#include <stdexcept>

#include "core/crc32.h"
#include "engine/delta_decoder.h"
#include "maker/delta_writer.h"
#include "maker/parallel_deflate.h"

namespace ztx {
namespace {

using Index = std::int64_t;

// The decoder's address space while the new file is written: the old file,
// then the new file's bytes as far as they are written.
struct Space {
  const std::string& from;
  const std::string& to;
  Index source_size() const { return static_cast<Index>(from.size()); }
  std::uint8_t At(Index a) const {
    return static_cast<std::uint8_t>(a < source_size() ? from[a] : to[a - source_size()]);
  }
  std::uint8_t New(Index q) const { return static_cast<std::uint8_t>(to[q]); }
};

// New bytes [start, start + length) approximate the space from `address` on;
// `extra` new bytes that match nothing follow.
struct Region {
  Index address = 0;
  Index start = 0;
  Index length = 0;
  Index extra = 0;
};

// The suffix array of the old file, shared by the scans.
std::vector<saidx_t> SortSuffixes(const std::string& from) {
  std::vector<saidx_t> suffixes(from.size());
  if (!from.empty() && divsufsort(reinterpret_cast<const sauchar_t*>(from.data()), suffixes.data(),
                                  static_cast<saidx_t>(from.size())) != 0) {
    throw std::runtime_error("suffix sorting failed");
  }
  return suffixes;
}

class Matcher {
 public:
  Matcher(const Space& s, const std::vector<saidx_t>& suffixes) : s_(s), suffixes_(suffixes) {
    if (s.to.size() >= kHashBytes) {
      head_.assign(size_t{1} << kHashBits, -1);
      chain_.assign(s.to.size(), -1);
    }
  }

  // The longest match for new[q...]: its length and its address.
  Index Longest(Index q, Index* address) {
    Index best = SearchOld(q, address);
    if (chain_.empty() || best >= kLongEnough) return best;
    for (; hashed_ < q && hashed_ + kHashBytes <= static_cast<Index>(s_.to.size()); ++hashed_) {
      const std::uint32_t h = Hash(hashed_);
      chain_[hashed_] = head_[h];
      head_[h] = static_cast<std::int32_t>(hashed_);
    }
    if (q + kHashBytes > static_cast<Index>(s_.to.size())) return best;
    int depth = 0;
    for (Index j = head_[Hash(q)]; j >= 0 && depth < kChainDepth; j = chain_[j], ++depth) {
      const Index length = NewMatch(j, q);
      if (length > best) {
        best = length;
        *address = s_.source_size() + j;
      }
    }
    return best;
  }

 private:
  static constexpr int kHashBits = 20;
  static constexpr Index kHashBytes = 8;
  static constexpr int kChainDepth = 8;
  // An old-file match this long is taken as it is: looking for a longer one in
  // the new file's past cost a sixth of the scan and saved 0.1 % of a patch.
  static constexpr Index kLongEnough = 32;
  // Binary search compares at most this much: past it, any of the equal
  // suffixes will do.
  static constexpr Index kCompareLimit = 1 << 16;

  std::uint32_t Hash(Index q) const {
    std::uint64_t v;
    std::memcpy(&v, s_.to.data() + q, 8);
    return static_cast<std::uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
  }

  Index OldMatch(Index a, Index q) const {
    const Index limit = std::min<Index>(s_.source_size() - a, static_cast<Index>(s_.to.size()) - q);
    Index i = 0;
    while (i < limit && s_.from[a + i] == s_.to[q + i]) ++i;
    return i;
  }

  // A match inside the new file may overlap the bytes it produces.
  Index NewMatch(Index j, Index q) const {
    const Index limit = static_cast<Index>(s_.to.size()) - q;
    Index i = 0;
    while (i < limit && s_.to[j + i] == s_.to[q + i]) ++i;
    return i;
  }

  Index SearchOld(Index q, Index* address) const {
    if (suffixes_.empty()) return 0;
    Index lo = 0, hi = static_cast<Index>(suffixes_.size()) - 1;
    const Index rest = static_cast<Index>(s_.to.size()) - q;
    while (hi - lo >= 2) {
      const Index mid = lo + (hi - lo) / 2;
      const Index a = suffixes_[mid];
      const Index n = std::min({s_.source_size() - a, rest, kCompareLimit});
      if (std::memcmp(s_.from.data() + a, s_.to.data() + q, n) < 0) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    const Index x = OldMatch(suffixes_[lo], q), y = OldMatch(suffixes_[hi], q);
    *address = x > y ? suffixes_[lo] : suffixes_[hi];
    return std::max(x, y);
  }

  const Space& s_;
  const std::vector<saidx_t>& suffixes_;
  std::vector<std::int32_t> head_, chain_;
  Index hashed_ = 0;
};

// `switch_gain`: how many bytes a new match must beat the current alignment
// by before the scan moves to it. Small changes to it move the cuts between
// regions a lot, and which cuts compress best differs from file to file.
std::vector<Region> FindRegions(const Space& s, const std::vector<saidx_t>& suffixes, Index switch_gain) {
  Matcher matcher(s, suffixes);
  const Index new_size = static_cast<Index>(s.to.size());
  // A byte of the current alignment, where it exists at that point of decoding.
  auto agrees = [&](Index q, Index offset) {
    const Index a = q + offset;
    return a >= 0 && a < s.source_size() + q && s.At(a) == s.New(q);
  };
  std::vector<Region> regions;
  Index scan = 0, length = 0, address = 0;
  Index last_scan = 0, last_address = 0, last_offset = 0;
  while (scan < new_size) {
    Index old_score = 0;
    Index scsc = scan += length;
    for (; scan < new_size; ++scan) {
      length = matcher.Longest(scan, &address);
      for (; scsc < scan + length; ++scsc) {
        if (agrees(scsc, last_offset)) ++old_score;
      }
      if ((length == old_score && length != 0) || length > old_score + switch_gain) break;
      if (agrees(scan, last_offset)) --old_score;
    }
    if (length == old_score && scan != new_size) continue;

    // Stretch the previous alignment forwards...
    Index forward = 0;
    for (Index i = 0, same = 0, best = 0; last_scan + i < scan;) {
      if (agrees(last_scan + i, last_address - last_scan)) ++same;
      ++i;
      if (same * 2 - i > best * 2 - forward) {
        best = same;
        forward = i;
      }
    }
    // ...and the new one backwards.
    Index backward = 0;
    if (scan < new_size) {
      for (Index i = 1, same = 0, best = 0; scan >= last_scan + i && address >= i; ++i) {
        if (agrees(scan - i, address - scan)) ++same;
        if (same * 2 - i > best * 2 - backward) {
          best = same;
          backward = i;
        }
      }
    }
    if (last_scan + forward > scan - backward) {
      const Index overlap = (last_scan + forward) - (scan - backward);
      Index same = 0, best = 0, cut = 0;
      for (Index i = 0; i < overlap; ++i) {
        if (agrees(last_scan + forward - overlap + i, last_address - last_scan)) ++same;
        if (agrees(scan - backward + i, address - scan)) --same;
        if (same > best) {
          best = same;
          cut = i + 1;
        }
      }
      forward += cut - overlap;
      backward -= cut;
    }
    regions.push_back({last_address, last_scan, forward, (scan - backward) - (last_scan + forward)});
    last_scan = scan - backward;
    last_address = address - backward;
    last_offset = address - scan;
  }
  return regions;
}

// Copies only the first exact run of each region.
constexpr Index kWholeRegion = INT32_MAX;

// The candidates that the encoder ranks; the first of each list is its first
// choice. Shapes of copies and tails: one copy per region as bsdiff cuts them
// (with no tail or a one-byte tail), or exact runs as copies with their
// differing bytes in tails (a tail length per copy, or two bytes each).
struct Shape {
  int fixed_tail;
  std::int64_t min_copy;
};
constexpr Shape kShapes[] = {{0, kWholeRegion}, {1, kWholeRegion}, {-1, 8}, {2, 16}};
constexpr std::uint8_t kBlockSizes[] = {32, 16, 255};
// The switch margins of the two scans.
constexpr Index kSwitchGains[] = {4, 6};

struct Choice {
  std::uint8_t insert_block_size = kBlockSizes[0];
  int fixed_tail = -1;  // -1: a tail length per copy (period 1), else one for the file (period 0)
  Index min_copy = 24;  // shortest exact run that becomes a copy of its own
  std::uint8_t delta_flags = 0;
  bool operator==(const Choice&) const = default;
};

int NumberWidth(std::uint64_t magnitude) {
  return magnitude > 0xFFFFFF ? 4 : magnitude > 0xFFFF ? 3 : magnitude > 0xFF ? 2 : 1;
}

// Turns regions into commands for one choice of parameters.
class Lowering {
 public:
  Lowering(const Space& s, const Choice& c, const DeltaParameters& p)
      : s_(s), c_(c), plain_tails_(p.delta_flags & delta_flags::kPlainTails),
        allowed_width_(NumberWidth(static_cast<std::uint64_t>(std::max<std::int64_t>(NumberBound(p), 0)))) {}

  std::vector<DeltaCommand> Run(const std::vector<Region>& regions) {
    for (const Region& r : regions) {
      // Exact runs of the region, the first one however short so that the
      // region's offset is taken up.
      bool first = true;
      for (Index i = 0; i < r.length;) {
        if (s_.At(r.address + i) != s_.New(r.start + i)) {
          ++i;
          continue;
        }
        Index end = i;
        while (end < r.length && s_.At(r.address + end) == s_.New(r.start + end)) ++end;
        if (first || end - i >= c_.min_copy) {
          first = !Copy(r.address + i, r.start + i, end - i, r.address - r.start, r.start + r.length);
        }
        i = end;
      }
    }
    FlushInsert(static_cast<Index>(s_.to.size()));
    return std::move(commands_);
  }

 private:
  // A copy of new[q, q + n) from `a` (part of it may already be written, by an
  // earlier tail), then its tail up to the next run or the region's end.
  bool Copy(Index a, Index q, Index n, Index offset, Index region_end) {
    if (q < written_) {
      n -= written_ - q;
      a += written_ - q;
      q = written_;
    }
    const Index new_size = static_cast<Index>(s_.to.size());
    Index tail = 0;
    if (c_.fixed_tail >= 0) {
      tail = c_.fixed_tail;
      n = std::min(n, new_size - q - tail);
    } else {
      // Up to the last differing byte before the next run that makes a copy.
      const Index gap_end = std::min(region_end, q + n + 255);
      for (Index e = q + n, run = 0; e < gap_end && run < c_.min_copy; ++e) {
        if (s_.At(e + offset) == s_.New(e)) {
          ++run;
        } else {
          run = 0;
          tail = e - q - n + 1;
        }
      }
    }
    // The tail reads the space behind the run once the run is written.
    const Index reach = s_.source_size() + q - a;
    if (tail > reach && !plain_tails_) {
      if (c_.fixed_tail >= 0) return false;
      tail = reach;
    }
    const Index d = a - last_end_;
    if (n <= 0 || NumberWidth(static_cast<std::uint64_t>(d < 0 ? -d : d)) > allowed_width_) return false;

    FlushInsert(q);
    commands_.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(n), static_cast<std::int32_t>(d),
                                           TailBytes(a + n, q + n, tail)));
    last_end_ = a + n;
    tail_ = tail;
    written_ = q + n + tail;
    return true;
  }

  std::string TailBytes(Index a, Index q, Index count) const {
    std::string bytes(static_cast<size_t>(count), '\0');
    for (Index i = 0; i < count; ++i) {
      bytes[i] = static_cast<char>(plain_tails_ ? s_.New(q + i) : s_.New(q + i) - s_.At(a + i));
    }
    return bytes;
  }

  // The new bytes from what is written up to `end` as one insert; each chunk
  // is added to the space at the insert's base when that leaves more zeros.
  void FlushInsert(Index end) {
    if (end <= written_) return;
    const Index base = last_end_ + tail_;
    std::string bytes = s_.to.substr(written_, end - written_);
    std::vector<bool> plain;
    Index offset = 0;
    for (std::uint32_t chunk : InsertChunks(static_cast<std::uint32_t>(end - written_), c_.insert_block_size)) {
      const Index at = base + offset;
      bool readable = at >= 0 && at + chunk <= s_.source_size() + written_ + offset;
      Index zeros_plain = 0, zeros_added = 0;
      for (Index i = 0; readable && i < chunk; ++i) {
        const std::uint8_t b = s_.New(written_ + offset + i);
        zeros_plain += b == 0;
        zeros_added += b == s_.At(at + i);
      }
      const bool added = readable && zeros_added >= zeros_plain;
      if (added) {
        for (Index i = 0; i < chunk; ++i) bytes[offset + i] = static_cast<char>(bytes[offset + i] - s_.At(at + i));
      }
      plain.push_back(!added);
      offset += chunk;
    }
    commands_.push_back(DeltaCommand::Insert(std::move(bytes), std::move(plain)));
    written_ = end;
  }

  const Space& s_;
  const Choice c_;
  const bool plain_tails_;
  const int allowed_width_;
  std::vector<DeltaCommand> commands_;
  Index written_ = 0;
  Index last_end_ = 0;  // LastAddress + LastLength
  Index tail_ = 0;
};

struct Trial {
  VersionSpec version;
  size_t compressed = SIZE_MAX;
};

size_t CompressedSize(const VersionSpec& v, int level) {
  std::string all;
  for (const std::string& stream : v.streams) all += stream;
  return DeflateInParts(all, level, 1).size();
}

// The step encoded with choice `c`, ranked by its size at DEFLATE `level`.
Trial Try(const Space& s, const std::vector<Region>& regions, const Choice& c, int level) {
  DeltaParameters p;
  p.source_size = static_cast<std::uint32_t>(s.from.size());
  p.output_size = static_cast<std::uint32_t>(s.to.size());
  p.tail_length_period = c.fixed_tail >= 0 ? 0 : 1;
  p.delta_flags = c.delta_flags;
  p.insert_block_size = c.insert_block_size;
  Trial t;
  t.version.size = p.source_size;
  t.version.tail_length_period = p.tail_length_period;
  t.version.delta_flags = p.delta_flags;
  t.version.insert_block_size = p.insert_block_size;
  t.version.streams = WriteDeltaStreams(p, Lowering(s, c, p).Run(regions));
  t.compressed = CompressedSize(t.version, level);
  return t;
}

// The compression level by which trials are ranked: level 9 ranks the
// candidates as level 12 does (on a text release tree it even picked slightly
// better ones) in a fraction of the time; level 6 does not. Only tiny streams
// are ranked at 12.
int TrialLevel(const std::string& to) { return to.size() < (1u << 12) ? 12 : 9; }

}  // namespace

VersionSpec EncodeDelta(const std::string& from, const std::string& to) {
  if (from.size() > 0x7FFFFFFF || to.size() > 0x7FFFFFFF) {
    throw std::length_error("a file of 2 GiB or more does not fit the delta format");
  }
  const Space s{from, to};
  const std::vector<saidx_t> suffixes = SortSuffixes(from);
  Choice best_choice;
  best_choice.fixed_tail = kShapes[0].fixed_tail;
  best_choice.min_copy = kShapes[0].min_copy;
  const int level = TrialLevel(to);

  // Two scans at once; the one whose first trial compresses better goes on.
  // Their cuts differ all over the file, so they are ranked on all of it: a
  // large file at a fast level, which orders two such candidates as the
  // strong ones do.
  constexpr Index kSampleBytes = 1 << 20;
  const bool sampled = static_cast<Index>(to.size()) > 2 * kSampleBytes;
  auto scan = [&](Index switch_gain) {
    std::vector<Region> r = FindRegions(s, suffixes, switch_gain);
    Trial t = Try(s, r, best_choice, sampled ? 6 : level);
    return std::pair{std::move(r), std::move(t)};
  };
  auto other = std::async(std::launch::async, scan, kSwitchGains[1]);
  auto [regions, first_trial] = scan(kSwitchGains[0]);
  {
    auto [other_regions, other_trial] = other.get();
    if (other_trial.compressed < first_trial.compressed) {
      regions = std::move(other_regions);
      first_trial = std::move(other_trial);
    }
  }

  // A large file picks its other parameters on a sample: the regions that
  // start in its first kSampleBytes, which rank the candidates as the whole
  // file does at a fraction of the cost. Only the winner is encoded whole,
  // beside the first choice when it differs.
  std::string sample_to;
  std::vector<Region> sample_regions;
  if (sampled) {
    for (const Region& r : regions) {
      if (r.start >= kSampleBytes) break;
      sample_regions.push_back(r);
    }
    const Region& last = sample_regions.back();
    sample_to = to.substr(0, static_cast<size_t>(last.start + last.length + last.extra));
  }
  const Space sample{from, sampled ? sample_to : to};
  const std::vector<Region>& ranked_regions = sampled ? sample_regions : regions;
  const Choice first_choice = best_choice;
  Trial leader = sampled ? Try(sample, ranked_regions, best_choice, level) : std::move(first_trial);

  // A few candidates at a time, two at once; each round keeps the best.
  auto keep = [&](Trial t, const Choice& c) {
    if (t.compressed < leader.compressed) {
      leader = std::move(t);
      best_choice = c;
    }
  };
  auto round = [&](const std::vector<Choice>& choices) {
    for (size_t i = 0; i < choices.size(); i += 2) {
      std::future<Trial> second;
      if (i + 1 < choices.size()) {
        second = std::async(std::launch::async,
                            [&, i] { return Try(sample, ranked_regions, choices[i + 1], level); });
      }
      keep(Try(sample, ranked_regions, choices[i], level), choices[i]);
      if (second.valid()) keep(second.get(), choices[i + 1]);
    }
  };
  auto with = [&](auto change) {
    Choice c = best_choice;
    change(c);
    return c;
  };
  std::vector<Choice> shapes;
  for (const Shape& shape : std::span(kShapes).subspan(1)) {
    shapes.push_back(with([&](Choice& c) {
      c.fixed_tail = shape.fixed_tail;
      c.min_copy = shape.min_copy;
    }));
  }
  round(shapes);
  std::vector<Choice> blocks;
  for (std::uint8_t block : std::span(kBlockSizes).subspan(1)) {
    blocks.push_back(with([&](Choice& c) { c.insert_block_size = block; }));
  }
  round(blocks);
  std::vector<Choice> flags;
  if (best_choice.fixed_tail != 0) {
    flags.push_back(with([](Choice& c) { c.delta_flags |= delta_flags::kPlainTails; }));
  }
  // Counting the output widens numbers only when the sum passes a byte boundary.
  if (NumberWidth(std::max(from.size(), to.size())) != NumberWidth(from.size() + to.size())) {
    flags.push_back(with([](Choice& c) { c.delta_flags |= delta_flags::kBoundCountsOutput; }));
  }
  round(flags);
  Trial best;
  if (!sampled) {
    best = std::move(leader);
  } else if (best_choice == first_choice) {
    best = std::move(first_trial);  // encoded whole when the scans were ranked
  } else {
    // The sample's winner against the first choice, on the whole file.
    auto first = std::async(std::launch::async, [&] {
      first_trial.compressed = CompressedSize(first_trial.version, level);
      return std::move(first_trial);
    });
    best = Try(s, regions, best_choice, level);
    Trial t = first.get();
    if (t.compressed < best.compressed) best = std::move(t);
  }
  best.version.crc = Crc32Update(kCrcInitial, from.data(), static_cast<std::uint32_t>(from.size()));
  return std::move(best.version);
}

std::vector<VersionSpec> EncodeEveryShape(const std::string& from, const std::string& to) {
  const Space s{from, to};
  const std::vector<saidx_t> suffixes = SortSuffixes(from);
  std::vector<VersionSpec> out;
  for (Index gain : kSwitchGains) {
    const std::vector<Region> regions = FindRegions(s, suffixes, gain);
    for (const Shape& shape : kShapes) {
      for (std::uint8_t block : kBlockSizes) {
        for (std::uint8_t flags = 0; flags < 4; ++flags) {
          const Choice c{block, shape.fixed_tail, shape.min_copy, flags};
          VersionSpec v = Try(s, regions, c, 1).version;
          v.crc = Crc32Update(kCrcInitial, from.data(), static_cast<std::uint32_t>(from.size()));
          out.push_back(std::move(v));
        }
      }
    }
  }
  return out;
}

size_t EncodedSize(const VersionSpec& v) {
  size_t size = 1 + v.source_name.size() + SourceVersion::kSize;
  for (const std::string& s : v.streams) size += s.size();
  return size;
}

}  // namespace ztx
