#include "core/crc32.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

// The register update of the format, one bit at a time: the reference that the
// table-driven zlib path must agree with.
std::uint32_t SlowCrc(std::uint32_t reg, const std::string& bytes) {
  for (unsigned char b : bytes) {
    reg ^= b;
    for (int i = 0; i < 8; ++i) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return reg;
}

TEST(Crc32Test, KnownAnswers) {
  EXPECT_EQ(Crc32Update(kCrcInitial, "123456789", 9), 0x340BC6D9u);
  EXPECT_EQ(Crc32Update(kCrcInitial, "", 0), 0xFFFFFFFFu);
  EXPECT_EQ(SlowCrc(kCrcInitial, "123456789"), 0x340BC6D9u);
  // Table entries 1 and 255 of the polynomial: one step from register 1 and 255.
  const char zero = 0;
  EXPECT_EQ(Crc32Update(1, &zero, 1), 0x77073096u);
  EXPECT_EQ(Crc32Update(255, &zero, 1), 0x2D02EF8Du);
}

TEST(Crc32Test, AgreesWithTheBitwiseReferenceAndContinues) {
  std::mt19937 rng(7);
  std::string data(5000, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  const std::uint32_t whole = Crc32Update(kCrcInitial, data.data(), 5000);
  EXPECT_EQ(whole, SlowCrc(kCrcInitial, data));
  const std::uint32_t half = Crc32Update(kCrcInitial, data.data(), 1234);
  EXPECT_EQ(Crc32Update(half, data.data() + 1234, 5000 - 1234), whole);
}

class FileCrcTest : public ::testing::Test {
 protected:
  std::uint32_t Crc(const std::string& content, std::uint32_t offset, std::uint32_t length) {
    dir_.Write("f", content);
    ScopedFile f(files_, files_.OpenForRead(dir_ / "f"));
    return FileCrc(files_, f.get(), offset, length);
  }
  std::unique_ptr<Os> os_ = MakeNativeOs();
  FileLayer files_{*os_};
  testing::TempFolder dir_;
};

TEST_F(FileCrcTest, ExclusionRanges) {
  std::string content(200000, 'x');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
  const std::uint32_t whole = SlowCrc(kCrcInitial, content);
  EXPECT_EQ(Crc(content, 0, 0), whole) << "length 0 leaves nothing out";
  EXPECT_EQ(Crc(content, 77, 0), whole);
  EXPECT_EQ(Crc(content, 0, 200000), kCrcInitial) << "the whole file left out";
  // The register runs on across the range.
  const std::string outside = content.substr(0, 1000) + content.substr(1010);
  EXPECT_EQ(Crc(content, 1000, 10), SlowCrc(kCrcInitial, outside));
  std::string changed = content;
  changed[1005] ^= 0x40;
  EXPECT_EQ(Crc(changed, 1000, 10), SlowCrc(kCrcInitial, outside)) << "bytes inside do not count";
  EXPECT_EQ(Crc(content, 199990, 100), SlowCrc(kCrcInitial, content.substr(0, 199990)));
  EXPECT_EQ(Crc(content, 300000, 5), whole) << "a range behind the end";
  EXPECT_EQ(Crc(content, 100, 0xFFFFFFFF), SlowCrc(kCrcInitial, content.substr(0, 100)))
      << "a range that wraps leaves nothing behind it";
  EXPECT_EQ(Crc("", 0, 0), kCrcInitial);
}

}  // namespace
}  // namespace ztx
