// Files and temporary files over POSIX descriptors.
//
// Every routine that fails leaves the system's error number where
// PlatLastError() (this thread's errno) finds it. Paths use forward slashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum PlatOpenFlags : uint32_t {
    PLAT_OPEN_READ = 0,      // read only
    PLAT_OPEN_WRITE = 1,     // write only
    PLAT_OPEN_READWRITE = 2, // read and write
    PLAT_OPEN_CREATE = 4,    // create, or empty an existing file
    PLAT_OPEN_EXCLUSIVE = 8, // with CREATE: fail when the file exists
};

// A descriptor, or -1.
int PlatFileOpen(const char *path, uint32_t flags);
bool PlatFileClose(int fd);
// Reads up to count bytes, retrying short reads until end of file; -1 on error.
int64_t PlatFileRead(int fd, void *buffer, size_t count);
// Writes count bytes; answers the bytes written (fewer on error), or -1.
int64_t PlatFileWrite(int fd, const void *data, size_t count);
// Reads up to count bytes at a 64-bit offset without moving the file position,
// retrying short reads until end of file; the bytes read, or -1 on error.
int64_t PlatFileReadAt(int fd, int64_t offset, void *buffer, size_t count);
// Writes count bytes at a 64-bit offset; the bytes written (fewer on error), or -1.
int64_t PlatFileWriteAt(int fd, int64_t offset, const void *data, size_t count);
// origin 0 start, 1 current, 2 end; the new position or -1.
int64_t PlatFileSeek(int fd, int64_t offset, int origin);
bool PlatFileExists(const char *path);
// fopen for files that may hold private data (traces, logs): mode "w", "w+",
// "a" or "a+"; a file it creates is readable and writable by the owner only
// (0600). Null when it cannot be opened.
std::FILE *PlatOpenPrivateFile(const char *path, const char *mode);
bool PlatFileDelete(const char *path);
int PlatLastError();

// The directory for temporary files: $TMPDIR, else /tmp; ends with "/".
std::string PlatTempDirectory();
// Creates a new empty file "<dir>/<prefix>XXXXXX" with O_EXCL (never an existing
// file) and stores its path. dir empty means PlatTempDirectory(). Answers false
// when no file could be made.
bool PlatCreateTempFile(const std::string &dir, const std::string &prefix, std::string *path);
// The same, but the new file stays open for reading and writing: answers its
// descriptor, or -1. The file is readable and writable by its owner only.
int PlatCreateTempFileOpen(const std::string &dir, const std::string &prefix, std::string *path);
// The name prefix that marks a temporary file as this process's:
// "<prefix><pid>_", to be given to PlatCreateTempFileOpen.
std::string PlatOwnedTempPrefix(const std::string &prefix);
// Removes from dir the files "<prefix><pid>_XXXXXX" that a process which no
// longer exists left behind (a killed client cannot delete its own). Only
// regular files of the current user are touched, never those of this or of
// another live process. Answers how many were removed.
int PlatSweepOrphanTempFiles(const std::string &dir, const std::string &prefix);
// The same for private directories "<prefix><pid>_XXXXXX" (made with
// mkdtemp): their regular files go, then the directory.
int PlatSweepOrphanTempDirs(const std::string &dir, const std::string &prefix);
