// TFRXDatabase: time-stamped records of measured values in a data file
// (".dat", fixed-size records, see records.h) and an index file (".sch",
// "V1" + channel count, then one 40-byte entry per segment; older files
// have no header).  A segment is a run of records taken at one sampling
// interval without interruption; segments follow each other without gaps in
// record numbers, and record k sits at offset k * (8N + 30).
//
// Durability rules (a record counts only once its data and then its index
// entry are on disk):
//   1. Append/AppendBlock write the records, sync the data file, and only
//      then replace the index (temporary file, sync, rename, folder sync).
//      A crash before the rename leaves the old index, which does not count
//      the new records; a crash after it keeps them.
//   2. Records in the data file beyond what the index counts were never
//      confirmed.  Within a session (a failed append) they are cut off by
//      the next append; at open they are taken into the index when whole
//      and well-formed, so nothing that reached the disk is thrown away.
//   3. At open the index is checked entry by entry.  A torn or damaged
//      index keeps its good leading entries and the records after them are
//      rebuilt from the data file (every whole record whose number, flag and
//      time are right; a new segment where time runs back or leaps), so a
//      damaged index never costs a record.
//   4. An index that counts more records than the data file holds is cut
//      back to the whole records present; a torn last record is cut off.
//   5. Repairs reach the disk only when the database is opened writable;
//      a read-only open repairs its in-memory view alone.
//   6. No file stays open between calls, so the files may be copied (backup)
//      between any two calls.
//
// Return codes of the lookups: -2 not open, -3 no segments, -1 not found,
// else an index, a record number or 0.  File errors raise StorageError.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/storage/curves.h"
#include "monitor/storage/file_ops.h"
#include "monitor/storage/records.h"

namespace kv90 {

class TFRXDatabase {
 public:
  explicit TFRXDatabase(storage::FileOps& ops = storage::FileOps::Real()) : ops_(ops) {}

  // Empty data file and an index of "V1" + N.  0, or -1 on any error
  // (LastError() says why).
  int Create(const std::string& path, int channels);
  // 0 when open; -1 when the data file does not exist; -4 when the files
  // are refused (LastError()).  `channels` may be negative ("take it from
  // the index"); the index header wins over the caller's count.
  int Open(const std::string& path, int channels, bool writable);
  void Close();

  int FindSegmentByTime(double t) const;
  int FindSegmentByRecord(std::int32_t k) const;
  int FirstSegmentAfter(double t) const;
  int LastSegmentBefore(double t) const;

  // 0 and the record, or -1 when past the end of the data file.
  int ReadRecord(std::int32_t k, TFile_Data& out);
  // direction 1: at or after t; 0: at or before t.  The record number.
  int FindNearest(int direction, TFile_Data& out, double t);
  // Records from..to (clamped) with the selected channels.  0 or -1/-2/-3.
  // `out` keeps its storage between calls (see TFileDataRange).
  int ReadRange(std::int32_t from, std::int32_t to, const TBooleanArray& selection, TFileDataRange& out);
  // One curve per selected channel (appearance of existing curves kept).
  int LoadCurves(const TBooleanArray& selection, TCurves1DArray& curves, double endTime, double startTime);
  // 1 when written and counted, 0 when not open/writable/missing or the
  // record does not have N values or a real time (year 1 to 9999).  Numbers, date parts and flag of
  // `record` are filled in.
  int Append(TFile_Data& record, bool newSegment, double interval);
  int AppendBlock(TFileDataArray& records, int count, double interval, bool newSegment);

  int SearchCount() const { return static_cast<int>(segments_.size()); }
  const TSearchDataArray& SearchData() const { return segments_; }
  const std::string& DatabaseName() const { return path_; }
  int DatabaseDataValuesCount() const { return channels_; }
  bool DatabaseOpen() const { return open_; }
  bool Writable() const { return writable_; }
  // Total records counted by the index.
  std::int64_t RecordCount() const { return segments_.empty() ? 0 : segments_.back().LastRecord + 1; }
  const std::string& LastError() const { return lastError_; }
  // What the last Open repaired (empty when nothing), for the status log.
  const std::string& RepairNote() const { return repairNote_; }

  static std::string IndexPathFor(const std::string& dataPath);

  // Replacing the data file and the index together (restore): the new files
  // are written and synced as ReplacementPath(data) and
  // ReplacementPath(index); CommitReplacement writes a commit marker and
  // renames both over the old ones.  A crash after the marker is finished
  // by the next Open; a replacement never committed is discarded by it, so
  // the database is either wholly old or wholly new.
  static std::string ReplacementPath(const std::string& path);
  static void CommitReplacement(storage::FileOps& ops, const std::string& dataPath);
  static void FinishPendingReplacement(storage::FileOps& ops, const std::string& dataPath);

 private:
  std::int64_t RecSize() const { return RecordSize(channels_); }
  std::int32_t Interpolate(const TSearchData& s, double t) const;
  void LoadAndCheck();  // throws
  void WriteIndex(const TSearchDataArray& segs);
  // Valid whole records from `first` onwards, appended to `segs`.
  void RebuildTail(TSearchDataArray& segs, std::int32_t first, std::int64_t dataSize, double interval);
  std::int32_t BinarySearch(const TSearchData& s, int direction, double t, TFile_Data& out);
  int WriteRecords(TFileDataArray& records, int count, double interval, bool newSegment);

  storage::FileOps& ops_;
  std::string path_, indexPath_;
  int channels_ = 0;
  bool open_ = false, writable_ = false;
  TSearchDataArray segments_;
  std::string lastError_, repairNote_;
};

}  // namespace kv90
