// The SQLite record store beyond the interface both backends share
// (test_store_api): opened only to read, opened by its path, and what is
// no SQLite file.
#include <gtest/gtest.h>

#include "store/periods.hpp"
#include "store/record_store.hpp"
#include "store/sqlite_connection.hpp"
#include "support/temp_folder.hpp"
#include "v1_store.hpp"

namespace statvtk::store {
namespace {

using link_test::TempFolder;

RecordRow Hour(const std::string& period, double total, const std::string& raw) {
  RecordRow r;
  r.serial = "00012345";
  r.archive = ArchiveKind::Hourly;
  r.period = period;
  r.forwardTotal = total;
  r.forwardIncrement = 0.5;
  r.fields = R"({"temperature":21.5})";
  r.raw = raw;
  r.readId = 1;
  return r;
}

// Opening only to read creates nothing and upgrades nothing; a folder the
// program cannot write (here: its shared-memory file cannot be made) reads.
TEST(SqliteReadOnly, NothingIsCreatedOrUpgradedAndAStoreInAFolderItCannotWriteReads) {
  TempFolder dir;
  const StoreOptions readOnly{.origin = "", .busyWait = std::chrono::milliseconds(1000), .readOnly = true};
  auto missing = OpenRecordStore("none.sqlite", dir.Path(), readOnly);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ErrorCode::StoreUnreachable);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "none.sqlite"));

  {
    auto c = SqliteConnection::Open((dir.Path() / "old.sqlite").string(), 1000);
    ASSERT_TRUE(c);
    MakeV1Store(**c);
  }
  auto old = OpenRecordStore("old.sqlite", dir.Path(), readOnly);
  ASSERT_FALSE(old);
  EXPECT_EQ(old.error().code, ErrorCode::StoreSchema);
  EXPECT_NE(old.error().reason.find("версии схемы 1"), std::string::npos) << old.error().reason;
  EXPECT_EQ(SqliteConnection::Open((dir.Path() / "old.sqlite").string(), 1000)
                .value()
                ->Run(sql::kSelectVersion, {}, Repeat::Safe)
                ->Int(0, 0),
            1);

  {
    auto s = OpenRecordStore("new.sqlite", dir.Path());
    ASSERT_TRUE(s && (*s)->UpsertRecord(Hour("2024-05-01 10:00", 1, "01")));
  }
  std::filesystem::create_directory(dir.Path() / "new.sqlite-shm");
  auto reader = OpenRecordStore("new.sqlite", dir.Path(), readOnly);
  ASSERT_TRUE(reader) << reader.error().reason;
  auto rows = (*reader)->Records({"00012345", ArchiveKind::Hourly, "", "", 0});
  ASSERT_TRUE(rows) << rows.error().reason;
  EXPECT_EQ(rows->size(), 1u);
}

TEST(RecordStoreOpen, AFileIsOpenedByItsPathAPostgresUrlIsNotTakenForOneAndABadPathIsRefused) {
  TempFolder dir;
  {
    auto s = OpenRecordStore("collect.sqlite", dir.Path());
    ASSERT_TRUE(s && (*s)->UpsertRecord(Hour("2024-05-01 10:00", 1, "01")));
  }
  auto reopened = OpenRecordStore((dir.Path() / "collect.sqlite").string(), "/nonexistent");
  ASSERT_TRUE(reopened) << reopened.error().reason;
  EXPECT_EQ((*reopened)->Records({"00012345", ArchiveKind::Hourly, "", "", 0}).value().size(), 1u);

  auto pg = OpenRecordStore("postgresql://u@127.0.0.1/db", dir.Path());
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "postgresql:"));
  ASSERT_FALSE(pg);
  EXPECT_EQ(pg.error().code, ErrorCode::StoreUnreachable);
  auto bad = OpenRecordStore((dir.Path() / "no" / "such" / "x.sqlite").string(), dir.Path());
  EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace statvtk::store
