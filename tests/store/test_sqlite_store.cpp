// The SQLite record store beyond the interface both backends share
// (test_store_api): opened only to read, opened by its path, what is no
// SQLite file; its failures keep their kind (a full disk, a damaged file, a
// lock held by another connection past the wait) and leave it usable and whole.
#include <gtest/gtest.h>

#include <fstream>

#include "store/sql_store.hpp"
#include "store/sqlite_connection.hpp"
#include "support/temp_folder.hpp"
#include "v1_store.hpp"

namespace statvtk::store {
namespace {

using link_test::TempFolder;

RecordRow Hour(int h, std::string fields = "{}") {
  RecordRow r;
  r.serial = "00012345";
  r.period = "2024-05-01 " + std::string(h < 10 ? "0" : "") + std::to_string(h) + ":00";
  r.forwardTotal = h;
  r.fields = std::move(fields);
  r.raw = "0" + std::to_string(h);
  return r;
}

TEST(SqliteFaults, AFullDiskIsStoreFullAndTheReadsRowsGoNowhere) {
  TempFolder dir;
  auto c = SqliteConnection::Open((dir.Path() / "full.sqlite").string(), 1000);
  ASSERT_TRUE(c);
  ASSERT_TRUE(MigrateSchema(**c));
  const auto pages = (*c)->Run("PRAGMA page_count", {}, Repeat::Safe);
  ASSERT_TRUE(pages);
  // The file may grow by four pages: as if the disk had that much left.
  ASSERT_TRUE((*c)->Exec("PRAGMA max_page_count = " + std::to_string(pages->Int(0, 0) + 4)));
  SqlStore store(std::move(*c), {});
  {
    StoreTransaction t(store);
    Result<Upsert> last = Upsert::Added;
    for (int h = 0; h < 24 && last; ++h) last = store.UpsertRecord(Hour(h, std::string(3000, 'x')));
    ASSERT_FALSE(last);
    EXPECT_EQ(last.error().code, ErrorCode::StoreFull) << last.error().reason;
    EXPECT_FALSE(StoreUnavailable(last.error()));
  }
  EXPECT_TRUE(store.Records({"00012345", ArchiveKind::Hourly, "", "", 0}).value().empty());
  EXPECT_EQ(store.Stats("00012345", ArchiveKind::Hourly).value().records, 0);
  EXPECT_TRUE(store.UpsertRecord(Hour(1)));  // a small row still fits
}

TEST(SqliteFaults, AFileThatIsNoDatabaseAndDamagedPagesAreStoreCorrupt) {
  TempFolder dir;
  const auto garbage = dir.Path() / "garbage.sqlite";
  link_test::WriteAll(garbage, std::string(8192, 'G'));
  auto none = OpenRecordStore("garbage.sqlite", dir.Path());
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().code, ErrorCode::StoreCorrupt) << none.error().reason;
  EXPECT_EQ(link_test::ReadAll(garbage), std::string(8192, 'G'));  // left as it was

  {
    auto s = OpenRecordStore("damaged.sqlite", dir.Path());
    ASSERT_TRUE(s);
    for (int h = 0; h < 24; ++h) ASSERT_TRUE((*s)->UpsertRecord(Hour(h, std::string(500, 'f'))));
  }
  const auto file = dir.Path() / "damaged.sqlite";
  std::int64_t root = 0, pageSize = 0;
  {
    auto c = SqliteConnection::Open(file.string(), 1000);
    ASSERT_TRUE(c);
    root = (*c)->Run("SELECT rootpage FROM sqlite_master WHERE name = 'records'", {}, Repeat::Safe)->Int(0, 0);
    pageSize = (*c)->Run("PRAGMA page_size", {}, Repeat::Safe)->Int(0, 0);
  }
  ASSERT_GT(root, 1);
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((root - 1) * pageSize);
    const std::string noise(static_cast<std::size_t>(pageSize), '\xA5');
    f.write(noise.data(), static_cast<std::streamsize>(noise.size()));
  }
  auto s = OpenRecordStore("damaged.sqlite", dir.Path());
  ASSERT_TRUE(s) << s.error().reason;
  auto rows = (*s)->Records({"00012345", ArchiveKind::Hourly, "", "", 0});
  ASSERT_FALSE(rows);
  EXPECT_EQ(rows.error().code, ErrorCode::StoreCorrupt) << rows.error().reason;
  auto check = (*s)->Check();
  ASSERT_FALSE(check);
  EXPECT_EQ(check.error().code, ErrorCode::StoreCorrupt);
}

TEST(SqliteFaults, AWriterLockedOutPastItsWaitIsBusyWhileReadersGoOn) {
  TempFolder dir;
  auto s = OpenRecordStore("busy.sqlite", dir.Path(), {.origin = "", .busyWait = std::chrono::milliseconds(100)});
  ASSERT_TRUE(s);
  ASSERT_TRUE((*s)->UpsertRecord(Hour(1)));
  auto other = SqliteConnection::Open((dir.Path() / "busy.sqlite").string(), 0);
  ASSERT_TRUE(other);
  ASSERT_TRUE((*other)->Begin());  // another process writes
  auto id = (*s)->StartRead({"", "boiler", "north", "2024-05-01T10:00:00Z", ReadMode::New});
  ASSERT_FALSE(id);
  EXPECT_EQ(id.error().code, ErrorCode::StoreBusy) << id.error().reason;
  EXPECT_TRUE(StoreUnavailable(id.error()));
  EXPECT_EQ((*s)->Records({"00012345", ArchiveKind::Hourly, "", "", 0}).value().size(), 1u);
  (*other)->Rollback();
  EXPECT_TRUE((*s)->StartRead({"", "boiler", "north", "2024-05-01T10:00:00Z", ReadMode::New}));
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
    ASSERT_TRUE(s && (*s)->UpsertRecord(Hour(10)));
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
    ASSERT_TRUE(s && (*s)->UpsertRecord(Hour(10)));
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
