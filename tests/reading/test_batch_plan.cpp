// Batches by speed, the speed index of a baud rate, and the short-address rule.
#include <gtest/gtest.h>

#include "reading/address_check.hpp"
#include "reading/batch_plan.hpp"

namespace statvtk {
namespace {

TEST(BatchPlan, BaudIndexIsOneBasedAndFallsBackForAnUnlistedRate) {
  const struct {
    std::uint32_t baud;
    int want;
  } cases[] = {{2400, 1}, {4800, 2}, {9600, 3}, {57600, 4}, {115200, 5}, {19200, 7}, {0, 7}};
  for (const auto& c : cases) EXPECT_EQ(BaudIndexOf(c.baud, 7), c.want) << c.baud;
}

TEST(BatchPlan, OneBatchPerSpeedInTheOrderChosen) {
  const std::vector<BatchTarget> chosen = {{5, 9600}, {2, 2400}, {7, 9600}, {1, 2400}, {9, 19200}};
  const auto batches = PlanBatchesBySpeed(chosen);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].baud, 9600u);
  EXPECT_EQ(batches[0].baudIndex, 3);
  EXPECT_EQ(batches[0].addresses, (std::vector<std::uint32_t>{5, 7}));
  EXPECT_EQ(batches[1].baud, 2400u);
  EXPECT_EQ(batches[1].addresses, (std::vector<std::uint32_t>{2, 1}));
  EXPECT_EQ(batches[2].baudIndex, 0);  // not a settings speed
  EXPECT_EQ(batches[2].addresses, (std::vector<std::uint32_t>{9}));
  EXPECT_TRUE(PlanBatchesBySpeed({}).empty());
}

TEST(AddressCheck, AboveTheShortFormOnlyWithMBus) {
  const struct {
    std::int64_t address;
    bool mbus;
    bool refused;
  } cases[] = {{0, false, false},       {255, false, false},     {256, false, true}, {256, true, false},
               {12345678, true, false}, {12345678, false, true}, {-1, true, true}};
  for (const auto& c : cases) {
    const std::string problem = AddressProblem(c.address, c.mbus);
    EXPECT_EQ(!problem.empty(), c.refused) << c.address << " mbus " << c.mbus;
    if (c.refused) EXPECT_NE(problem.find(std::to_string(c.address)), std::string::npos) << problem;
  }
  EXPECT_EQ(AddressProblem(300, false), "Сетевой адрес 300 больше 255. Без M-Bus адрес прибора - от 0 до 255");
}

}  // namespace
}  // namespace statvtk
