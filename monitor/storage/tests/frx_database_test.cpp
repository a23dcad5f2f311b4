// Operations of the record database: file layout, return codes, lookups,
// range and curve reads, appends and the repairs at open.
#include <gtest/gtest.h>

#include <cmath>

#include "monitor/storage/frx_database.h"
#include "monitor/storage/tests/test_util.h"

namespace kv90 {
namespace {

using testing::ExpectSeries;
using testing::kMinute;
using testing::kT0;
using testing::MakeRecord;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class Db : public ::testing::Test {
 protected:
  static constexpr int N = 3;
  TempDir dir;  // first: the paths below are made from it
  std::string path = dir / "Data/data.dat";
  TFRXDatabase db;

  // Opens a new database and appends segments of the given sizes, one
  // minute apart inside a segment and an hour between segments.
  void Build(std::initializer_list<int> segments, int channels = N) {
    ASSERT_EQ(db.Create(path, channels), 0);
    ASSERT_EQ(db.Open(path, channels, true), 0);
    int k = 0;
    double t = kT0;
    for (int n : segments) {
      for (int i = 0; i < n; ++i, ++k) {
        TFile_Data r = MakeRecord(channels, k, t);
        ASSERT_EQ(db.Append(r, i == 0, 60.0), 1);
        ASSERT_EQ(r.Number, k);
        t += kMinute;
      }
      t += 60 * kMinute;
    }
  }
  double TimeOf(int k) {
    TFile_Data r;
    EXPECT_EQ(db.ReadRecord(k, r), 0);
    return r.Time;
  }
};

TEST_F(Db, CreateWritesHeaderOnlyIndexAndEmptyData) {
  ASSERT_EQ(db.Create(path, 5), 0);  // makes the missing folder too
  EXPECT_EQ(ReadFile(dir / "Data/data.sch"), std::string("V1\x05\0\0\0", 6));
  EXPECT_EQ(ReadFile(path), "");
  ASSERT_EQ(db.Open(path, 5, true), 0);
  TFile_Data r;
  EXPECT_EQ(db.FindNearest(1, r, kT0), -3);
  EXPECT_EQ(db.Create(dir / "x.dat", kMaxChannels + 1), -1);
  EXPECT_FALSE(db.LastError().empty());
  EXPECT_EQ(db.Create("/proc/no/such.dat", 1), -1);
}

TEST_F(Db, ReturnCodesWhenClosedEmptyOrMissing) {
  TFile_Data r;
  TFileDataRange recs;
  TCurves1DArray curves;
  TBooleanArray sel(N, true);
  EXPECT_EQ(db.Open(dir / "none.dat", N, true), -1);
  EXPECT_FALSE(db.DatabaseOpen());
  struct Case { const char* op; std::function<int()> call; };
  std::vector<Case> cases = {
      {"FindSegmentByTime", [&] { return db.FindSegmentByTime(kT0); }},
      {"FindSegmentByRecord", [&] { return db.FindSegmentByRecord(0); }},
      {"FirstSegmentAfter", [&] { return db.FirstSegmentAfter(kT0); }},
      {"LastSegmentBefore", [&] { return db.LastSegmentBefore(kT0); }},
      {"ReadRecord", [&] { return db.ReadRecord(0, r); }},
      {"FindNearest", [&] { return db.FindNearest(0, r, kT0); }},
      {"ReadRange", [&] { return db.ReadRange(0, 1, sel, recs); }},
      {"LoadCurves", [&] { return db.LoadCurves(sel, curves, kT0 + 1, kT0); }},
  };
  for (auto& c : cases) EXPECT_EQ(c.call(), -2) << c.op << " when closed";
  ASSERT_EQ(db.Create(path, N), 0);
  ASSERT_EQ(db.Open(path, N, true), 0);
  for (auto& c : cases) EXPECT_EQ(c.call(), -3) << c.op << " without segments";
  // Append refuses a closed, read-only, wrongly sized or timeless record.
  TFile_Data wrong = MakeRecord(N - 1, 0, kT0);
  EXPECT_EQ(db.Append(wrong, true, 60), 0);
  for (double t : {std::nan(""), HUGE_VAL, 1e9}) {
    TFile_Data timeless = MakeRecord(N, 0, t);
    EXPECT_EQ(db.Append(timeless, true, 60), 0) << t;
  }
  TFileDataArray block = {MakeRecord(N, 0, kT0), MakeRecord(N, 1, std::nan(""))};
  EXPECT_EQ(db.AppendBlock(block, 2, 60, true), 0);
  EXPECT_EQ(db.AppendBlock(block, 3, 60, true), 0);  // fewer records than the count
  db.Close();
  TFile_Data ok = MakeRecord(N, 0, kT0);
  EXPECT_EQ(db.Append(ok, true, 60), 0);
  ASSERT_EQ(db.Open(path, N, false), 0);
  EXPECT_EQ(db.Append(ok, true, 60), 0);
  EXPECT_EQ(db.SearchCount(), 0);
}

TEST_F(Db, RecordAndIndexBytesAreLittleEndian) {
  ASSERT_EQ(db.Create(path, 1), 0);
  ASSERT_EQ(db.Open(path, 1, true), 0);
  TFile_Data r;
  r.Time = 41060.58691;  // 31 May 2012 14:05:09.024
  r.Values = {-22003.0};
  ASSERT_EQ(db.Append(r, true, 60.0), 1);
  const std::string d = ReadFile(path);
  ASSERT_EQ(d.size(), 38u);
  auto u8 = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(d[i])); };
  EXPECT_EQ(u8(0) | u8(1) << 8 | u8(2) << 16 | u8(3) << 24, 0u);       // number
  EXPECT_EQ(u8(12) | u8(13) << 8, 2012u);                              // year
  EXPECT_EQ(u8(14), 5u);                                               // month
  EXPECT_EQ(u8(16), 31u);                                              // day
  EXPECT_EQ(u8(18), 14u);                                              // hour
  EXPECT_EQ(u8(20), 5u);                                               // minute
  EXPECT_EQ(u8(22), 9u);                                               // second
  EXPECT_EQ(d.substr(26, 8), std::string("\0\0\0\0\xC0\x7C\xD5\xC0", 8));  // -22003.0
  EXPECT_EQ(d.substr(34, 4), std::string("\1\0\0\0", 4));
  const std::string s = ReadFile(dir / "Data/data.sch");
  ASSERT_EQ(s.size(), 46u);
  EXPECT_EQ(s.substr(0, 6), std::string("V1\1\0\0\0", 6));
  EXPECT_EQ(s.substr(6, 8), std::string(8, '\0'));                     // first 0, last 0
  EXPECT_EQ(s.substr(14, 8), d.substr(4, 8));                          // first time
  EXPECT_EQ(s.substr(38, 8), std::string("\1\0\0\0\1\0\0\0", 8));      // count 1, flag 1
}

TEST_F(Db, AppendStartsAndExtendsSegments) {
  Build({1});
  ASSERT_EQ(db.SearchCount(), 1);
  EXPECT_EQ(db.SearchData()[0], (TSearchData{0, 0, kT0, kT0, 60.0, 1, 1}));
  db.Close();
  Build({10, 5});
  ASSERT_EQ(db.SearchCount(), 2);
  EXPECT_EQ(db.SearchData()[1].FirstRecord, 10);
  EXPECT_EQ(db.SearchData()[1].LastRecord, 14);
  EXPECT_EQ(db.SearchData()[1].Count, 5);
  // What was appended is what a fresh open sees.
  TFRXDatabase again;
  ASSERT_EQ(again.Open(path, -10, false), 0);  // count from the index header
  EXPECT_EQ(again.DatabaseDataValuesCount(), N);
  EXPECT_EQ(again.SearchData(), db.SearchData());
  EXPECT_EQ(again.RepairNote(), "");
  ExpectSeries(again, 15, N);
}

TEST_F(Db, AppendWithoutSegmentFlagOnEmptyDatabaseStartsOne) {
  ASSERT_EQ(db.Create(path, N), 0);
  ASSERT_EQ(db.Open(path, N, true), 0);
  TFile_Data r = MakeRecord(N, 0, kT0);
  ASSERT_EQ(db.Append(r, false, 60), 1);
  EXPECT_EQ(db.SearchCount(), 1);
  EXPECT_EQ(db.SearchData()[0].Count, 1);
}

TEST_F(Db, SegmentLookups) {
  Build({10, 5});  // records 0..9 at kT0.., 10..14 an hour after record 9
  const double gap = TimeOf(9) + 30 * kMinute;
  EXPECT_EQ(db.FindSegmentByTime(TimeOf(3)), 0);
  EXPECT_EQ(db.FindSegmentByTime(TimeOf(12)), 1);
  EXPECT_EQ(db.FindSegmentByTime(gap), -1);
  EXPECT_EQ(db.FindSegmentByRecord(9), 0);
  EXPECT_EQ(db.FindSegmentByRecord(10), 1);
  EXPECT_EQ(db.FindSegmentByRecord(15), -1);
  EXPECT_EQ(db.FirstSegmentAfter(gap), 1);
  EXPECT_EQ(db.FirstSegmentAfter(TimeOf(14)), -1);
  EXPECT_EQ(db.LastSegmentBefore(gap), 0);
  EXPECT_EQ(db.LastSegmentBefore(kT0), -1);
}

TEST_F(Db, ReadRecordClampsAndReportsPastEnd) {
  Build({4});
  TFile_Data r;
  EXPECT_EQ(db.ReadRecord(-5, r), 0);
  EXPECT_EQ(r.Number, 0);
  EXPECT_EQ(db.ReadRecord(99, r), 0);
  EXPECT_EQ(r.Number, 3);
  EXPECT_EQ(r.Values, (TRealArray{30, 31, 32}));
  std::filesystem::resize_file(path, 2 * RecordSize(N));  // data lost behind our back
  EXPECT_EQ(db.ReadRecord(3, r), -1);
}

TEST_F(Db, FindNearest) {
  Build({10, 5});
  const double gap = TimeOf(9) + 30 * kMinute;
  struct Case { const char* name; int dir; double t; int want; };
  const Case cases[] = {
      {"exact time, at or after", 1, TimeOf(4), 4},
      {"exact time, at or before", 0, TimeOf(4), 4},
      {"between records, after", 1, TimeOf(4) + 0.3 * kMinute, 5},
      {"between records, before", 0, TimeOf(4) + 0.7 * kMinute, 4},
      {"gap between segments, before", 0, gap, 9},
      {"gap between segments, after", 1, gap, 10},
      {"before the first record, after", 1, kT0 - 1, 0},
      {"before the first record, before", 0, kT0 - 1, -1},
      {"after the last record, before", 0, TimeOf(14) + 1, 14},
      {"after the last record, after", 1, TimeOf(14) + 1, -1},
      {"last record of a segment", 1, TimeOf(9), 9},
  };
  for (const auto& c : cases) {
    TFile_Data r;
    int got = db.FindNearest(c.dir, r, c.t);
    EXPECT_EQ(got, c.want) << c.name;
    if (got >= 0) {
      EXPECT_EQ(r.Number, got) << c.name;
    }
  }
}

TEST_F(Db, FindNearestOnUnevenlySpacedRecords) {
  // A segment whose records bunch up at its end: interpolation lands far
  // from the answer and the three-record check alone would be wrong.
  ASSERT_EQ(db.Create(path, 1), 0);
  ASSERT_EQ(db.Open(path, 1, true), 0);
  std::vector<double> times;
  for (int k = 0; k < 50; ++k) times.push_back(kT0 + (k < 40 ? k * 1e-5 : 1.0 + k * 1e-5));
  for (int k = 0; k < 50; ++k) {
    TFile_Data r = MakeRecord(1, k, times[k]);
    ASSERT_EQ(db.Append(r, k == 0, 1), 1);
  }
  for (int k = 1; k < 50; ++k) {
    TFile_Data r;
    double t = (times[k - 1] + times[k]) / 2;
    EXPECT_EQ(db.FindNearest(1, r, t), k);
    EXPECT_EQ(db.FindNearest(0, r, t), k - 1);
  }
}

TEST_F(Db, ReadRange) {
  Build({10, 5});
  TFileDataRange recs;
  EXPECT_EQ(db.ReadRange(0, 5, TBooleanArray(N + 1, true), recs), -1);
  EXPECT_TRUE(recs.empty());
  EXPECT_EQ(db.ReadRange(8, 3, TBooleanArray(N, true), recs), -1);
  ASSERT_EQ(db.ReadRange(-3, 100, {false, true, true}, recs), 0);  // clamped to 0..14
  ASSERT_EQ(recs.size(), 15u);
  EXPECT_EQ(recs[12].Number, 12);
  EXPECT_EQ(recs[12].ToFileData().Values, (TRealArray{121, 122}));
  EXPECT_EQ(recs[12].Time, TimeOf(12));
  EXPECT_EQ(recs.Width(), 2u);
  std::int32_t expected = 0;
  for (const auto r : recs) {  // every field as ReadRecord gives it, with the selected values
    TFile_Data whole;
    ASSERT_EQ(db.ReadRecord(expected, whole), 0);
    whole.Values = {whole.Values[1], whole.Values[2]};
    EXPECT_EQ(r.ToFileData(), whole) << "record " << expected;
    ++expected;
  }
  EXPECT_EQ(expected, 15);
  // A narrower, shorter read into the same range replaces it wholly.
  ASSERT_EQ(db.ReadRange(2, 4, {true, false, false}, recs), 0);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].ToFileData().Values, (TRealArray{20}));
}

TEST_F(Db, ReadRangeAcrossManyPasses) {
  const int channels = 40;  // 350-byte records, 1463 per pass
  ASSERT_EQ(db.Create(path, channels), 0);
  ASSERT_EQ(db.Open(path, channels, true), 0);
  TFileDataArray block;
  for (int k = 0; k < 5000; ++k) block.push_back(MakeRecord(channels, k, kT0 + k * kMinute));
  ASSERT_EQ(db.AppendBlock(block, 5000, 60, true), 1);
  EXPECT_EQ(std::filesystem::file_size(path), 5000u * RecordSize(channels));
  ExpectSeries(db, 5000, channels);
}

TEST_F(Db, LoadCurvesOneBlockPerSegmentWithNeighbours) {
  Build({10, 5});
  TCurves1DArray curves(1);
  curves[0].Name = "C1";
  curves[0].Color = 0xFF;
  // From record 3 to record 12: blocks 3..9 and 10..12, Prev 2, Next 13.
  ASSERT_EQ(db.LoadCurves({false, true, true}, curves, TimeOf(12), TimeOf(3)), 0);
  ASSERT_EQ(curves.size(), 2u);
  const TCurve& c = curves[0];
  EXPECT_EQ(c.Name, "C1");
  EXPECT_EQ(c.Color, 0xFFu);
  EXPECT_EQ(c.BlockCount, 2);
  EXPECT_EQ(c.BlockSizes, (TLongInt1DArray{7, 3}));
  EXPECT_EQ(c.PointCount, 10);
  EXPECT_EQ(c.Blocks[0][0], (TGraphDataPoint{31, TimeOf(3), 3}));
  EXPECT_EQ(c.Blocks[1][2], (TGraphDataPoint{121, TimeOf(12), 12}));
  EXPECT_EQ(curves[1].Blocks[1][2].Value, 122);
  EXPECT_EQ(c.PrevId, 2);
  EXPECT_EQ(c.PrevValue, 21);
  EXPECT_EQ(c.PrevTime, TimeOf(2));
  EXPECT_EQ(c.NextId, 13);
  EXPECT_EQ(c.NextValue, 131);

  // Loading again into the same curves gives what a fresh load gives.
  const TCurves1DArray first = curves;
  ASSERT_EQ(db.LoadCurves({false, true, true}, curves, TimeOf(12), TimeOf(3)), 0);
  EXPECT_EQ(curves, first);

  // The whole database: no neighbours.
  ASSERT_EQ(db.LoadCurves({true, false, false}, curves, TimeOf(14) + 1, kT0 - 1), 0);
  ASSERT_EQ(curves.size(), 1u);
  EXPECT_EQ(curves[0].PointCount, 15);
  EXPECT_EQ(curves[0].PrevId, -1);
  EXPECT_EQ(curves[0].NextId, -1);

  // A window inside the gap between the segments: emptied curves.
  const double gap = TimeOf(9) + 20 * kMinute;
  ASSERT_EQ(db.LoadCurves({true, false, false}, curves, gap + 10 * kMinute, gap), 0);
  EXPECT_EQ(curves[0].BlockCount, 0);
  EXPECT_EQ(curves[0].PointCount, 0);
  EXPECT_EQ(db.LoadCurves({true, false}, curves, gap, kT0), -1);
}

TEST_F(Db, OpenRepairsTornLastRecord) {
  Build({3, 4});  // 7 records
  db.Close();
  const std::string index = ReadFile(dir / "Data/data.sch");
  std::filesystem::resize_file(path, 6 * RecordSize(N) + 17);
  // A read-only open shows the repaired view and leaves the files alone.
  ASSERT_EQ(db.Open(path, N, false), 0);
  ExpectSeries(db, 6, N);
  EXPECT_NE(db.RepairNote(), "");
  EXPECT_EQ(ReadFile(dir / "Data/data.sch"), index);
  EXPECT_EQ(std::filesystem::file_size(path), 6u * RecordSize(N) + 17);
  // A writable open repairs the files.
  ASSERT_EQ(db.Open(path, N, true), 0);
  ExpectSeries(db, 6, N);
  EXPECT_EQ(std::filesystem::file_size(path), 6u * RecordSize(N));
  EXPECT_EQ(db.SearchData()[1].LastRecord, 5);
  EXPECT_EQ(db.SearchData()[1].Count, 3);
  EXPECT_EQ(db.SearchData()[1].LastTime, TimeOf(5));
  EXPECT_EQ(std::filesystem::file_size(dir / "Data/data.sch"), 6u + 80u);
  TFile_Data r = MakeRecord(N, 6, TimeOf(5) + kMinute);
  ASSERT_EQ(db.Append(r, false, 60), 1);
  EXPECT_EQ(r.Number, 6);
  ExpectSeries(db, 7, N);
}

TEST_F(Db, OpenDropsSegmentWhoseOnlyRecordIsMissing) {
  Build({3, 1});
  db.Close();
  std::filesystem::resize_file(path, 3 * RecordSize(N));
  ASSERT_EQ(db.Open(path, N, true), 0);
  EXPECT_EQ(db.SearchCount(), 1);
  ExpectSeries(db, 3, N);
}

TEST_F(Db, OpenKeepsWholeRecordsTheIndexNeverCounted) {
  Build({3});
  db.Close();
  const std::string index = ReadFile(dir / "Data/data.sch");
  Build({5});  // same files now hold five records in one segment
  db.Close();
  // As if the index renames of the last two appends never happened, and
  // the last of them tore its record.
  WriteFile(dir / "Data/data.sch", index);
  std::filesystem::resize_file(path, 5 * RecordSize(N) - 3);
  ASSERT_EQ(db.Open(path, N, true), 0);
  ExpectSeries(db, 4, N);
  ASSERT_EQ(db.SearchCount(), 1);  // continues the segment at its step
  EXPECT_EQ(db.SearchData()[0].LastTime, TimeOf(3));
  EXPECT_EQ(std::filesystem::file_size(path), 4u * RecordSize(N));
}

TEST_F(Db, ReadsOlderIndexWithoutHeader) {
  Build({4, 2});
  db.Close();
  std::string index = ReadFile(dir / "Data/data.sch");
  WriteFile(dir / "Data/data.sch", index.substr(6));
  ASSERT_EQ(db.Open(path, N, false), 0);
  EXPECT_EQ(db.SearchCount(), 2);
  EXPECT_EQ(db.RepairNote(), "");
  ExpectSeries(db, 6, N);
  // Without the caller's count, the record layout of the data file tells it.
  ASSERT_EQ(db.Open(path, -10, false), 0);
  EXPECT_EQ(db.DatabaseDataValuesCount(), N);
  EXPECT_EQ(db.SearchCount(), 2);
}

TEST_F(Db, RefusesChannelCountsThatCannotBe) {
  EXPECT_EQ(db.Create(path, N), 0);
  WriteFile(dir / "Data/data.sch", std::string("V1\xff\xff\0\0", 6));  // 65535 channels, no records
  EXPECT_EQ(db.Open(path, -10, true), -4);
  EXPECT_NE(db.LastError().find("channel count"), std::string::npos) << db.LastError();
  EXPECT_FALSE(db.DatabaseOpen());
  EXPECT_EQ(db.Open(path, kMaxChannels + 1, true), -4);
}

}  // namespace
}  // namespace kv90
