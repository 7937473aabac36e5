// The store's interface on both backends: header blocks kept byte for byte
// with their read, the newest found by serial.
#include <numeric>

#include "both_backends.hpp"
#include "store/sqlite_connection.hpp"

namespace statvtk::store {

std::string BothBackends::CountSqlite(const std::string& sql) {
  auto c = SqliteConnection::Open((dir_.Path() / database_).string(), 1000);
  if (!c) return c.error().reason;
  auto rows = (*c)->Run(sql, {}, Repeat::Safe);
  return rows ? rows->Text(0, 0) : rows.error().reason;
}

namespace {

INSTANTIATE_TEST_SUITE_P(Store, BothBackends, ::testing::Values("sqlite", "postgresql"));

TEST_P(BothBackends, AReadsHeaderBlockIsKeptByteForByteWithItsRead) {
  std::vector<std::uint8_t> older(1024), newer(2048);
  std::iota(older.begin(), older.end(), std::uint8_t{0});  // every byte value, zero included
  std::iota(newer.rbegin(), newer.rend(), std::uint8_t{7});
  EXPECT_FALSE(store_->NewestHeader("7001").value());
  {
    StoreTransaction t(*store_);
    ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "2026-12-07T09:00:00Z", 10800, newer}));
  }  // the read's transaction rolled back: its header with it
  EXPECT_FALSE(store_->NewestHeader("7001").value());

  ASSERT_TRUE(store_->PutHeader({4, "7001", "LDN-08", "2026-12-07T10:00:00Z", 10800, older}));
  ASSERT_TRUE(store_->PutHeader({6, "7002", "LDN-08", "2026-12-07T10:00:00Z", 10800, older}));
  ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "", 10800, std::vector<std::uint8_t>(2048)}));
  ASSERT_TRUE(store_->PutHeader({5, "7001", "LDN-08", "2026-12-07T11:00:00Z", -3600, newer}));  // replaces
  auto newest = store_->NewestHeader("7001");
  ASSERT_TRUE(newest) << newest.error().reason;
  ASSERT_TRUE(newest->has_value());
  EXPECT_EQ((*newest)->readId, 5);
  EXPECT_EQ((*newest)->model, "LDN-08");
  EXPECT_EQ((*newest)->takenUtc, "2026-12-07T11:00:00Z");
  EXPECT_EQ((*newest)->utcOffsetS, -3600);
  EXPECT_EQ((*newest)->block, newer);
  EXPECT_EQ(store_->NewestHeader("7002").value()->block, older);
  EXPECT_EQ(Count("read_headers"), "3");
}

}  // namespace
}  // namespace statvtk::store
