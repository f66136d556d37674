#pragma once

#include <cstdint>
#include <string>

namespace zul::records {

// The two syncs that make a record durable, one virtual each, so that a test
// can count them or make them fail. The program uses RealDiskSync().
class DiskSync {
public:
    virtual ~DiskSync() = default;

    // Writes the open file's data and what the system keeps about it to the
    // disk (fsync; FlushFileBuffers on Windows). handle: a file descriptor, or
    // a Windows HANDLE; not owned. True when done.
    virtual bool SyncFile(intptr_t handle) = 0;

    // Writes the folder's own data to the disk, where the name of a file new
    // in it is kept (fsync on the folder; on Windows the folder is flushed
    // where the file system takes a flush of a folder, and the file's own
    // flush already wrote its entry on NTFS). True when done.
    virtual bool SyncFolder(const std::string& folder) = 0;
};

// The real syncs; lives as long as the program.
DiskSync& RealDiskSync();

}  // namespace zul::records
