// The file seams of the link layer on this system: the atomic writer keeps
// the old file on failure and leaves no temporary behind, the whole-file
// reader tells a refusal, a folder and an oversized file apart.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/result_util.hpp"
#include "base/atomic_file.hpp"
#include "base/file_reader.hpp"
#include "base/program_home.hpp"
#include "base/system_error.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::link_test {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::size_t EntriesIn(const std::filesystem::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(AtomicFile, ReplacesTheWholeFileFromItsParts) {
  TempFolder dir;
  const auto path = dir.Path() / "Data.vst";
  WriteAll(path, "old contents that are longer than the new ones");
  const Result<void> written = AtomicWriteFile(path, {Bytes("head"), Bytes(""), Bytes("+tail")});
  ASSERT_TRUE(written) << written.error().reason;
  EXPECT_EQ(ReadAll(path), "head+tail");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // no temporary file left beside it
}

TEST(AtomicFile, FailureKeepsNothingAndGivesTheSystemsReason) {
  TempFolder dir;
  const auto path = dir.Path() / "no-such-folder" / "x.ini";
  const Result<void> written = AtomicWriteFile(path, {Bytes("x")});
  ASSERT_FALSE(written);
  EXPECT_NE(written.error().systemCode, 0);
  EXPECT_FALSE(SystemErrorText(written.error().systemCode).empty());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(EntriesIn(dir.Path()), 0u);
}

TEST(AtomicNewFile, NeverReplacesAndTakesTheNextFreeName) {
  TempFolder dir;
  const auto nameOf = [&](int n) { return dir.Path() / ("f" + std::to_string(n) + ".vst"); };
  WriteAll(nameOf(1), "the first file");
  const Result<std::filesystem::path> written = AtomicWriteNewFile(nameOf, 5, {Bytes("new"), Bytes(" one")});
  ASSERT_TRUE(written) << ReasonOf(written);
  EXPECT_EQ(*written, nameOf(2));
  EXPECT_EQ(ReadAll(nameOf(1)), "the first file");
  EXPECT_EQ(ReadAll(nameOf(2)), "new one");
  EXPECT_EQ(EntriesIn(dir.Path()), 2u);
}

TEST(AtomicNewFile, EveryNameTakenKeepsEveryFileAndLeavesNoTemporary) {
  TempFolder dir;
  const auto nameOf = [&](int n) { return dir.Path() / ("f" + std::to_string(n)); };
  for (int n = 1; n <= 3; ++n) WriteAll(nameOf(n), "old " + std::to_string(n));
  const Result<std::filesystem::path> written = AtomicWriteNewFile(nameOf, 3, {Bytes("x")});
  ASSERT_FALSE(written);
  EXPECT_NE(written.error().systemCode, 0);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(ReadAll(nameOf(n)), "old " + std::to_string(n));
  EXPECT_EQ(EntriesIn(dir.Path()), 3u);
}

// Writers racing for the same names each end up with a name of their own,
// with their own whole contents: the last step cannot replace a file.
TEST(AtomicNewFile, RacingWritersNeverShareAName) {
  TempFolder dir;
  constexpr int kWriters = 8;
  const auto nameOf = [&](int n) { return dir.Path() / ("race_" + std::to_string(n)); };
  std::vector<std::filesystem::path> names(kWriters);
  std::vector<bool> ok(kWriters);
  {
    std::vector<std::jthread> writers;
    for (int w = 0; w < kWriters; ++w)
      writers.emplace_back([&, w] {
        const std::string text = "writer " + std::to_string(w);
        std::string error;
        ok[w] = Unpack(AtomicWriteNewFile(nameOf, 50, {Bytes(text)}), &names[w], &error);
      });
  }
  std::set<std::filesystem::path> distinct;
  for (int w = 0; w < kWriters; ++w) {
    ASSERT_TRUE(ok[w]);
    distinct.insert(names[w]);
    EXPECT_EQ(ReadAll(names[w]), "writer " + std::to_string(w));
  }
  EXPECT_EQ(distinct.size(), std::size_t{kWriters});
  EXPECT_EQ(EntriesIn(dir.Path()), std::size_t{kWriters});
}

TEST(FileReader, ReadsExactBytesAndTellsFaultsApart) {
  TempFolder dir;
  std::string binary(70000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + 3);
  binary[10] = '\r';
  binary[11] = '\n';
  binary[12] = '\x1a';  // a text-mode reader would stop or translate here
  WriteAll(dir.Path() / "f.bin", binary);

  const Result<std::vector<std::uint8_t>> whole = ReadRegularFile(dir.Path() / "f.bin", binary.size());
  ASSERT_TRUE(whole);
  EXPECT_EQ(std::string(whole->begin(), whole->end()), binary);

  struct Case {
    std::filesystem::path path;
    std::uintmax_t limit;
    ErrorCode fault;
  };
  const Case cases[] = {
      {dir.Path() / "f.bin", binary.size() - 1, ErrorCode::FileTooLarge},
      {dir.Path(), 1000, ErrorCode::NotRegularFile},
      {dir.Path() / "missing.bin", 1000, ErrorCode::FileSystem},
  };
  for (const auto& c : cases) {
    const Result<std::vector<std::uint8_t>> r = ReadRegularFile(c.path, c.limit);
    ASSERT_FALSE(r) << c.path;
    EXPECT_EQ(r.error().code, c.fault) << c.path;
    if (c.fault == ErrorCode::FileSystem) {
      EXPECT_NE(r.error().systemCode, 0);
    }
  }
}

TEST(ProgramHome, EnsureFolderCreatesAndReportsFailure) {
  TempFolder dir;
  const auto nested = dir.Path() / "a" / "b" / "Data";
  std::string error;
  EXPECT_TRUE(Unpack(EnsureFolder(nested), &error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_TRUE(Unpack(EnsureFolder(nested), &error));  // already there
  WriteAll(dir.Path() / "file", "x");
  EXPECT_FALSE(Unpack(EnsureFolder(dir.Path() / "file" / "logs"), &error));
  EXPECT_NE(error.find((std::filesystem::path("file") / "logs").string()), std::string::npos) << error;
}

}  // namespace
}  // namespace statvtk::link_test
