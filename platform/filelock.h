// Whole-file advisory locks, atomic replacement and change stamps, for files
// that several processes update (the driver's view files).
//
// Legal order of an update: fd = PlatFileOpen(lockPath, READWRITE | CREATE |
// ...) -> PlatFileLockExclusive(fd) -> read the current files, write the new
// contents to a temporary file, PlatFileSync it, PlatFileRename it over the
// old one -> PlatFileUnlock(fd) (closing fd unlocks too). The lock is an
// flock(2) lock on the descriptor: it holds against other processes and
// against other descriptors of this process, and a waiter blocks until the
// holder lets go.
#pragma once

#include <cstdint>

bool PlatFileLockExclusive(int fd);
bool PlatFileLockShared(int fd);
bool PlatFileUnlock(int fd);
// Writes the file's data to the disk.
bool PlatFileSync(int fd);
// Renames from over to in one step (an existing to is replaced).
bool PlatFileRename(const char *from, const char *to);

// What tells one version of a file from another: a renamed-in replacement
// has a new inode, an append a new size and time.
struct PlatFileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1; // -1: the file does not exist
    int64_t mtimeNs = 0;
    bool operator==(const PlatFileStamp &) const = default;
};
// The stamp of path; size -1 when it does not exist.
PlatFileStamp PlatFileGetStamp(const char *path);
// True when path names an existing directory.
bool PlatIsDirectory(const char *path);
// Creates the directory and its missing parents; true when it exists after.
bool PlatMakeDirectories(const char *path);
// This process's id (names of temporary files that only this process writes).
unsigned long PlatProcessId();
