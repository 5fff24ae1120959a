// File layer: every file the engine writes or reads (view files, query-plan
// file, spill files, sort work) goes through these routines, and temporary
// file names are made here.
//
// A file is a record in a file set owned by the caller: a holder made with
// rcFileSetCreate (rclist.h) whose list is made on the first open and freed with
// rcListHolderFree. Legal order:
//   rcFileOpen(set, &f, name, flags)    0 (f set), 1, 4003, 4006, 4014
//   rcFileRead/Write[At], rcFileSeek     on an open record
//   rcFileClose(f, deleteFlag)           removes the record; f is then invalid
// Every routine answers a code; rcFileErrorText gives its message text.
// Names are at most 260 characters; a longer one cannot be opened (4003).
#pragma once

#include "driver/core/rclist.h"
#include "driver/core/rcstrings.h"

#include <cstddef>
#include <cstdint>

enum : int {
    RC_FILE_OK = 0,
    RC_FILE_NOT_OPENED = 1, // flag 16 without flag 8: nothing to open
    RC_FILE_SHORT = 2,      // fewer bytes read than asked (not an error)
    RC_FILE_ERR_OPEN = 4003,
    RC_FILE_ERR_READ = 4004,
    RC_FILE_ERR_WRITE = 4005,
    RC_FILE_ERR_TOO_MANY = 4006,
    RC_FILE_ERR_CLOSE = 4007,
    RC_FILE_ERR_DELETE = 4008,
    RC_FILE_ERR_SEEK = 4009,
    RC_FILE_ERR_HANDLE = 4010,
    RC_FILE_ERR_RENAME = 4012,
    RC_FILE_ERR_MEMORY = 4013,
    RC_FILE_ERR_EXISTS = 4014,
};

enum : uint32_t {
    RC_FILE_WRITE = 2,
    RC_FILE_READWRITE = 4,
    RC_FILE_CREATE = 8,
    RC_FILE_REPLACE = 16, // with CREATE: an existing file is emptied instead of refused
};

constexpr size_t kRcFileMaxName = 260;

struct rcFile {
    char mark[4]; // "FIL" while the record is open
    int fd;
    uint32_t style; // the flags given at open
    char name[kRcFileMaxName + 1];
    rcListHolder *set;
};

int rcFileOpen(rcListHolder *set, rcFile **file, const char *name, uint32_t flags);
int rcFileClose(rcFile *file, bool deleteFile);
// offset < 0 reads or writes at the current position.
int rcFileReadAt(rcFile *file, int64_t offset, uint32_t count, void *buffer, uint32_t *bytesRead);
int rcFileWriteAt(rcFile *file, int64_t offset, uint32_t count, const void *data);
int rcFileRead(rcFile *file, uint32_t count, void *buffer, uint32_t *bytesRead);
int rcFileWrite(rcFile *file, uint32_t count, const void *data);
// origin 0 start, 1 current, 2 end.
int rcFileSeek(rcFile *file, int64_t offset, int origin, int64_t *position);
bool rcFileExists(const char *name);

// Creates a new empty temporary file and stores its path in path (size bytes).
// A non-empty directory goes to rcFileCreateTempIn; otherwise the system's
// temporary directory is used and, in mode 3, the file is removed again and
// only the directory (ending with "/") is stored. 0 or 4003.
int rcFileCreateTemp(const char *prefix, const char *directory, char *path, size_t size, int mode);
// Creates "<directory>/<prefix><number>.tmp" (prefix and number cut to 9
// characters; "." when no directory) with an exclusive create, trying up to 301
// names. The file is left empty and closed. 0 or 4003.
int rcFileCreateTempIn(const char *directory, const char *prefix, char *path, size_t size);

// "File Manager: " and the code's text from module, then (when it fits)
// "Operating system LastError = %ld"; an empty text for codes without one.
void rcFileErrorText(int code, char *text, size_t size, rcModule module);
