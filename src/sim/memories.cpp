#include "sim/memories.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/rng.hpp"

namespace statvtk::sim {

std::span<const std::uint8_t> Memories::Of(MemoryKind k) const {
  switch (k) {
    case MemoryKind::Rtc: return rtc;
    case MemoryKind::Ram: return ram;
    case MemoryKind::Config: return config;
    case MemoryKind::Archive: break;
  }
  return archive;
}

bool SumsToFF(std::span<const std::uint8_t> bytes) {
  unsigned s = 0;
  for (auto b : bytes) s += b;
  return (s & 0xFF) == 0xFF;
}

namespace {

void PutBE(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i, v >>= 8) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
}
void PutLE(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i, v >>= 8) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
}
void PutFloatBE(std::span<std::uint8_t> out, std::size_t at, float f) {
  PutBE(out, at, std::bit_cast<std::uint32_t>(f), 4);
}
void PutFloatLE(std::span<std::uint8_t> out, std::size_t at, float f) {
  PutLE(out, at, std::bit_cast<std::uint32_t>(f), 4);
}

// The head of the VTK-08.14 and LDN-08 records: the period start, 4 bytes
// at 0 (a BadYear record's high byte the mark), then the V+ and V- totals,
// `width` bytes each; `be`: most significant byte first.
void PutTimedHead(std::span<std::uint8_t> out, const ArchiveRecord& r, int width, bool be) {
  const auto put = be ? PutBE : PutLE;
  put(out, 0, r.periodStart, 4);
  if (r.shape == RecordShape::BadYear) out[be ? 0 : 3] = kBadYearByte;
  put(out, 4, r.totals.vPlus, width);
  put(out, 4 + static_cast<std::size_t>(width), r.totals.vMinus, width);
}

void Seal(std::span<std::uint8_t> rec, bool invalid) {
  unsigned s = 0;
  for (std::size_t i = 0; i + 1 < rec.size(); ++i) s += rec[i];
  rec.back() = static_cast<std::uint8_t>(0xFF - (s & 0xFF) - (invalid ? 1 : 0));
}

// Bytes no decoded field uses: deterministic, not zero, so a read of the wrong
// place shows.
void Fill(std::vector<std::uint8_t>& v, std::uint64_t seed, std::uint64_t stream) {
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(Hash(seed, stream, i));
}

// Whole units plus an IEEE single fraction, from millionths.
void PutPair(std::span<std::uint8_t> out, std::size_t at, std::uint64_t micro, bool be) {
  const auto whole = static_cast<std::uint32_t>(micro / 1000000);
  const float frac = static_cast<float>(micro % 1000000) / 1e6f;
  if (be) PutBE(out, at, whole, 4), PutFloatBE(out, at + 4, frac);
  else PutLE(out, at, whole, 4), PutFloatLE(out, at + 4, frac);
}

void BuildVtk(const History& h, Memories& m) {
  const bool is12 = h.model == DeviceType::dtVTK0812;
  const DeviceConfig& c = h.config;
  const CurrentState& s = h.current;
  m.rtc.assign(128, 0), m.ram.assign(1024, 0), m.config.assign(512, 0);
  Fill(m.rtc, h.seed, 101), Fill(m.ram, h.seed, 102), Fill(m.config, h.seed, 103);
  const CivilTime t = DeviceTimeToCivil(h.now);
  const int dow = static_cast<int>((h.now / 86400 + 3) % 7) + 1;  // 1970-01-01 was a Thursday; Monday = 1
  const int clock[7] = {t.second, t.minute, t.hour, dow, t.day, t.month, t.year - 2000};
  for (int i = 0; i < 7; ++i) m.rtc[static_cast<std::size_t>(i)] = IntToBcd(clock[i]);
  std::fill(m.rtc.begin() + 7, m.rtc.begin() + 16, 0);
  PutBE(m.rtc, 16, s.totals.vPlus, 6);
  PutBE(m.rtc, 22, s.totals.vMinus, 6);
  PutBE(m.rtc, 28, s.totals.counters[0] & 0xFFFFFF, 3);
  PutFloatBE(m.ram, 180, s.flow);
  PutFloatBE(m.ram, 264, s.temperature);
  PutFloatBE(m.ram, 268, s.massFlow);
  std::fill_n(m.config.begin(), 8, std::uint8_t{0});  // a shorter serial ends in zero bytes
  std::memcpy(m.config.data(), c.serial.data(), std::min<std::size_t>(8, c.serial.size()));
  m.config[8] = c.diameterCode;
  if (is12) {
    PutFloatBE(m.config, 16, c.calibration[0]);
    PutFloatBE(m.config, 32, c.calibration[1]);
    PutFloatBE(m.config, 48, c.calibration[2]);
    m.config[64] = c.setting1, m.config[65] = c.setting2;
    return;
  }
  m.config[30] = c.fmaxCode;
  PutFloatBE(m.config, 32, c.kv);
  m.config[36] = c.optionFlags;
  PutBE(m.config, 41, c.gminCode, 4);
  PutBE(m.config, 45, c.gmaxCode, 4);
  PutPair(m.config, 320, s.totals.vPlus, true);
  PutPair(m.config, 328, s.totals.mPlus, true);
  PutBE(m.config, 344, s.operatingSeconds, 4);
  PutPair(m.config, 376, s.totals.vMinus, true);
  PutPair(m.config, 384, s.totals.mMinus, true);
  PutPair(m.config, 392, s.atReset.vPlus, true);
  PutPair(m.config, 400, s.atReset.mPlus, true);
  PutPair(m.config, 408, s.atReset.vMinus, true);
  PutPair(m.config, 416, s.atReset.mMinus, true);
  PutBE(m.config, 457, h.hourlyPointer, 3);
  PutBE(m.config, 461, h.dailyPointer, 3);
  PutBE(m.config, 465, h.monthlyPointer, 3);
}

void BuildLdn(const History& h, Memories& m) {
  const DeviceConfig& c = h.config;
  const CurrentState& s = h.current;
  m.rtc.clear(), m.ram.assign(64, 0), m.config.assign(256, 0);
  Fill(m.ram, h.seed, 102), Fill(m.config, h.seed, 103);
  PutLE(m.config, 0, c.serialNumber, 4);
  m.config[4] = c.diameterCode, m.config[5] = c.fmaxCode;
  m.config[6] = m.config[7] = 0;
  PutFloatLE(m.config, 8, c.kv);
  PutLE(m.config, 12, c.gminCode, 4);
  PutLE(m.config, 16, c.gmaxCode, 4);
  std::memcpy(m.config.data() + 20, "fw 1.20 ", 8);
  PutLE(m.config, 192, h.hourlyPointer, 4);
  PutLE(m.config, 196, h.dailyPointer, 4);
  PutLE(m.config, 200, h.monthlyPointer, 4);
  PutPair(m.ram, 0, s.totals.vPlus, false);
  PutPair(m.ram, 8, s.totals.vMinus, false);
  PutFloatLE(m.ram, 16, s.flow);
  PutLE(m.ram, 24, s.operatingSeconds, 4);
  const CivilTime t = DeviceTimeToCivil(h.now);
  const int clock[6] = {t.second, t.minute, t.hour, t.day, t.month, t.year - 2000};
  for (int i = 0; i < 6; ++i) m.ram[40 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(clock[i]);
  PutFloatLE(m.ram, 48, s.voltage);
  m.ram[52] = s.ldnStatus;
}

// Slots an archive never wrote hold what the chip held before: arbitrary
// bytes, the same for a seed. Every slot is filled; the records written go over it.
void FillSlots(const History& h, std::vector<std::uint8_t>& archive) {
  const ModelLayout& L = LayoutOf(h.model);
  for (Area area : {Area::Hourly, Area::Daily, Area::Monthly, Area::Events}) {
    const AreaLayout& a = L.Of(area);
    for (std::uint32_t i = a.first; i < a.End(); ++i) archive[i] = static_cast<std::uint8_t>(Hash(h.seed, 104, i));
  }
}

template <std::size_t N, typename F>
void PlaceAll(const std::vector<ArchiveRecord>& recs, std::vector<std::uint8_t>& mem, F encode) {
  for (const auto& r : recs) encode(r, std::span<std::uint8_t, N>(mem.data() + r.address, N));
}

}  // namespace

void EncodeRecord0812(const ArchiveRecord& r, std::span<std::uint8_t, 32> out) {
  std::fill(out.begin(), out.end(), 0);
  out[0] = static_cast<std::uint8_t>(IntToBcd(r.start.hour) | (r.hourMark ? 0x80 : 0));
  out[1] = IntToBcd(r.start.day), out[2] = IntToBcd(r.start.month), out[3] = IntToBcd(r.start.year - 2000);
  if (r.shape == RecordShape::BadYear) out[3] = kBadYearByte;
  PutBE(out, 4, r.totals.vPlus, 6);
  PutBE(out, 10, r.totals.vMinus, 6);
  for (std::size_t i = 0; i < 4; ++i) PutBE(out, 16 + 3 * i, r.totals.counters[i] & 0xFFFFFF, 3);
  out[28] = static_cast<std::uint8_t>(r.flags);
  Seal(out, r.invalid);
}

void EncodeRecord0814(const ArchiveRecord& r, std::span<std::uint8_t, 64> out) {
  std::fill(out.begin(), out.end(), 0);
  PutTimedHead(out, r, 6, true);
  PutBE(out, 16, r.totals.mPlus, 6);
  PutBE(out, 22, r.totals.mMinus, 6);
  for (std::size_t i = 0; i < 4; ++i) PutBE(out, 28 + 4 * i, r.totals.counters[i], 4);
  PutFloatBE(out, 44, r.temperature);
  PutFloatBE(out, 48, r.meanFlow);
  PutBE(out, 52, r.flags, 2);
  Seal(out, r.invalid);
}

void EncodeRecordLdn(const ArchiveRecord& r, std::span<std::uint8_t, 68> out) {
  std::fill(out.begin(), out.end(), 0);
  PutTimedHead(out, r, 8, false);
  for (std::size_t i = 0; i < 4; ++i) PutLE(out, 20 + 4 * i, r.totals.counters[i], 4);
  PutFloatLE(out, 36, r.meanFlow);
  PutFloatLE(out, 40, r.voltage);
  out[44] = static_cast<std::uint8_t>(r.flags);
  Seal(out, r.invalid);
}

void EncodeEvent0812(const EventRecord& e, std::span<std::uint8_t, 16> out) {
  std::fill(out.begin(), out.end(), 0);
  const int v[6] = {e.at.day, e.at.month, e.at.year - 2000, e.at.hour, e.at.minute, e.at.second};
  for (std::size_t i = 0; i < 6; ++i) out[i] = IntToBcd(v[i]);
  out[6] = static_cast<std::uint8_t>(e.flags);
  out[7] = static_cast<std::uint8_t>(e.flags >> 8);
  Seal(out, false);
}

void EncodeEvent0814(const EventRecord& e, std::span<std::uint8_t, 16> out) {
  std::fill(out.begin(), out.end(), 0);
  PutBE(out, 0, e.time, 4);
  PutBE(out, 4, e.flags, 2);
  Seal(out, false);
}

void EncodeEventLdn(const EventRecord& e, std::span<std::uint8_t, 64> out) {
  std::fill(out.begin(), out.end(), 0);
  PutLE(out, 0, e.time, 4);
  PutLE(out, 4, e.flags, 2);
  PutFloatLE(out, 6, e.voltage);
  Seal(out, false);
}

Memories BuildMemories(const History& h) {
  Memories m;
  const ModelLayout& L = LayoutOf(h.model);
  m.archive.assign(L.archiveSize, 0xFF);  // erased memory
  if (h.shapes.garbageSlots) FillSlots(h, m.archive);
  if (h.model == DeviceType::dtLDN08) {
    BuildLdn(h, m);
    for (const auto* area : {&h.hourly, &h.daily, &h.monthly}) PlaceAll<68>(*area, m.archive, EncodeRecordLdn);
    for (const auto& e : h.events) EncodeEventLdn(e, std::span<std::uint8_t, 64>(m.archive.data() + e.address, 64));
  } else if (h.model == DeviceType::dtVTK0812) {
    BuildVtk(h, m);
    for (const auto* area : {&h.hourly, &h.daily}) PlaceAll<32>(*area, m.archive, EncodeRecord0812);
    for (const auto& e : h.events) EncodeEvent0812(e, std::span<std::uint8_t, 16>(m.archive.data() + e.address, 16));
  } else {
    BuildVtk(h, m);
    for (const auto* area : {&h.hourly, &h.daily, &h.monthly}) PlaceAll<64>(*area, m.archive, EncodeRecord0814);
    for (const auto& e : h.events) EncodeEvent0814(e, std::span<std::uint8_t, 16>(m.archive.data() + e.address, 16));
  }
  return m;
}

}  // namespace statvtk::sim
