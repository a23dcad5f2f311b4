// qel.lib: the archive library of the setup engine.
//
// A small C interface over libarchive that lists and extracts 7z, zip, tar
// and the other formats libarchive reads, including encrypted zip entries
// (traditional and AES).  The engine links it at load time; the file is named
// exactly "qel.lib" and lies beside the engine.  Data appended after the
// library's own image (the engine's default message file) does not disturb
// the loader.
//
// Rules:
//  1. Every call sets the error code read by GetLastArchiveError (0 on
//     success); the code is per thread, so listing on a worker thread does
//     not disturb another thread's error.
//  2. Entry paths are backslash-separated, relative, without a trailing
//     backslash; the entry array stays valid until CloseListArchive.
//  3. Extraction never writes outside the target folder: absolute entry
//     names, ".." components and links are refused (the entry is skipped
//     and the extraction fails with QEL_ERROR_UNSAFE_ENTRY).
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QEL_EXPORT __attribute__((visibility("default")))

enum {
  QEL_OK = 0,
  QEL_ERROR_GENERAL = 1000,         // any failure without a code of its own
  QEL_ERROR_NOT_FOUND = 1001,       // the archive file does not exist
  QEL_ERROR_ILLEGAL_PATH = 1002,    // a wanted entry path or pattern is illegal
  QEL_ERROR_CANNOT_OPEN = 1003,     // unsupported archive or incorrect password
  QEL_ERROR_CANCELLED = 1004,       // the progress callback answered 0
  QEL_ERROR_WRITE = 1005,           // a file of the target folder cannot be written
  QEL_ERROR_UNSAFE_ENTRY = 1006,    // an entry would land outside the target folder
  QEL_ERROR_DAMAGED = 1007,         // the archive ends early or its data is corrupt
};

// Size of the buffer handed to the password callback, terminator included.
#define QEL_PASSWORD_MAX 512

// Flags of ExtractArchive.
#define QEL_EXTRACT_FLAT 0        // every file straight into the target folder
#define QEL_EXTRACT_WITH_FOLDERS 1  // keep the entry's folders below the target

// One archive entry, 48 bytes.
typedef struct QelEntry {
  const char* path;      // 0: backslash-separated, zero-terminated
  int64_t size;          // 8: unpacked size
  int64_t packedSize;    // 16: bytes the entry takes in the archive (approximate for solid 7z)
  int64_t reserved;      // 24
  uint64_t modified;     // 32: FILETIME, UTC (100 ns since 1601-01-01)
  uint32_t attributes;   // 40: FILE_ATTRIBUTE_* (0x01 read-only, 0x10 folder, 0x20 archive)
  uint32_t reserved2;    // 44
} QelEntry;

// Copies the pending password into buffer (QEL_PASSWORD_MAX bytes) and
// returns 1, or returns 0 when there is none.  Called at most a few times
// per archive.
typedef int (*QelPasswordCallback)(char* buffer);
// Called before each file is written; the answer is not read.
typedef int (*QelFileCallback)(const char* entryPath);
// Bytes written so far and in total for this call; 0 stops the extraction.
typedef int (*QelProgressCallback)(const char* entryPath, int64_t done, int64_t total);
// Called when a target file exists: 1 overwrite it, 4 overwrite it and all
// others without asking again, 2 keep it, 0 cancel.  The last seven
// arguments are reserved and always 0.
typedef int (*QelOverwriteCallback)(const char* targetPath, int64_t existingSize, uint64_t existingTime,
                                    int64_t newSize, uint64_t newTime, void*, void*, void*, void*, void*);

// Lists the archive.  mode must be 0.  password may be 0 or empty; the
// callback is asked when libarchive needs a passphrase.  Returns a non-zero
// handle and fills *entries / *count, or 0 on failure.
QEL_EXPORT intptr_t OpenListArchive(const char* path, int mode, QelPasswordCallback passwordCallback,
                                    void* reserved1, void* reserved2, void* reserved3, const char* password,
                                    QelEntry** entries, int* count);
QEL_EXPORT int CloseListArchive(intptr_t handle);

// Extracts the entries named in entryPaths (count entries; patterns may use
// '*' and '?', compared without regard to case, '\' or '/' as separator)
// into targetFolder, which is created when missing.  entryPaths 0 or count 0
// extracts everything.  mode must be 1.  Returns non-zero on success.
QEL_EXPORT int ExtractArchive(const char* path, int mode, const char* targetFolder, const char* const* entryPaths,
                              int count, int flags, const char* password, QelPasswordCallback passwordCallback,
                              QelFileCallback fileCallback, QelProgressCallback progressCallback,
                              QelOverwriteCallback overwriteCallback);

// The code of the last failure of this thread (reserved must be 0).
QEL_EXPORT int GetLastArchiveError(int reserved);

#ifdef __cplusplus
}
#endif
