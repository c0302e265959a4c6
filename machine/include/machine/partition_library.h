// The diagnostics partition library behind its five operations: files of the machine folder's
// partition/ directory, named by bare names without regard to case. Tests switch its
// availability, choose what a read answers at the end of a file, and make a chosen read or write
// call fail.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "machine/machine.h"

namespace winsim {

class PartitionLibrary {
public:
    explicit PartitionLibrary(Machine& machine);
    ~PartitionLibrary();
    PartitionLibrary(const PartitionLibrary&) = delete;
    PartitionLibrary& operator=(const PartitionLibrary&) = delete;

    // <machine folder>/partition.
    fs::path Folder() const;

    // machine.ini [Partition] Available (yes unless set to no).
    bool Available() const;
    void SetAvailable(bool available);

    // What a read answers once a file has no more data: 0 (the default) or -1.
    void SetEndOfFileResult(int result) { m_endOfFile = result; }

    // The `nth` read (write) call from now, counted over all handles from 1, answers `result`
    // instead of doing its work; with `sticky` every later call answers it too. Arming a
    // fault restarts that operation's count.
    void FailRead(int nth, int result, bool sticky = false);
    void FailWrite(int nth, int result, bool sticky = false);
    void ClearFaults();
    // Read (write) calls since the fault was last armed or cleared, failed ones included.
    int ReadCalls() const { return m_read.calls; }
    int WriteCalls() const { return m_write.calls; }

    // The five operations. Handles are small nonzero numbers; 0 answers a failed open.
    int IsAvailable();
    uintptr_t Open(std::string_view name, std::string_view mode);
    long Read(void* buffer, size_t size, size_t count, uintptr_t handle);
    long Write(const void* buffer, size_t size, size_t count, uintptr_t handle);
    void Close(uintptr_t handle);
    // Handles opened and not yet closed.
    size_t OpenHandles() const { return m_handles.size(); }

private:
    struct Fault {
        int calls = 0;
        int nth = 0;  // 0: none armed
        int result = 0;
        bool sticky = false;
        // Counts the call; true with `result` set when it is to fail.
        bool Next(long& result);
    };
    struct Handle {
        std::FILE* file;
        bool writing;
    };

    Machine& m_machine;
    std::map<uintptr_t, Handle> m_handles;
    uintptr_t m_nextHandle = 1;
    int m_endOfFile = 0;
    Fault m_read;
    Fault m_write;
};

}  // namespace winsim
