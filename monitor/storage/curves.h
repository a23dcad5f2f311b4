// The graph panel's curve records, filled by TFRXDatabase::LoadCurves and
// handed whole to the panel (SetCurve / GetCurve).
//
// A curve's points come in blocks: one block per database segment, so that
// the panel never joins two runs recorded apart.  Prev and Next are the
// points just outside the shown window (record number -1 when none), which
// let a line run to the chart's edges.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/storage/bulk_allocator.h"

namespace kv90 {

struct TGraphDataPoint {
  double Value = 0;     // raw value as stored (status codes <= -22000 included)
  double Time = 0;      // date-time double
  std::int32_t Id = 0;  // record number in the owner's store

  bool operator==(const TGraphDataPoint&) const = default;
};

// A block's points.  The allocator lets LoadCurves size a block without
// writing it twice and keeps a fresh block's first touch cheap; otherwise
// this is a plain vector.
using TGraphData1DArray = std::vector<TGraphDataPoint, BulkAllocator<TGraphDataPoint>>;
using TGraphData2DArray = std::vector<TGraphData1DArray>;
using TLongInt1DArray = std::vector<std::int32_t>;

struct TCurve {
  std::string Name;  // UTF-8
  std::int32_t BlockCount = 0;
  TLongInt1DArray BlockSizes;
  std::int32_t PointCount = 0;
  TGraphData2DArray Blocks;
  double PrevValue = 0, PrevTime = 0;
  std::int32_t PrevId = -1;
  double NextValue = 0, NextTime = 0;
  std::int32_t NextId = -1;
  std::uint8_t HideLine = 0;
  std::uint8_t Reserved1 = 0;
  std::uint32_t Color = 0;
  std::int32_t PenWidth = 1;
  std::int32_t Reserved2 = 0;
  std::int32_t AxisIndex = 0;
  std::int32_t Reserved3 = 0;
  std::uint8_t Visible = 1;

  // Removes the data (blocks, counts, Prev/Next), keeps the appearance.
  void ClearData() {
    BlockCount = 0;
    BlockSizes.clear();
    PointCount = 0;
    Blocks.clear();
    PrevValue = PrevTime = NextValue = NextTime = 0;
    PrevId = NextId = -1;
  }
  bool operator==(const TCurve&) const = default;
};

using TCurves1DArray = std::vector<TCurve>;

}  // namespace kv90
