// The process's kernel handles: tokens, device handles, files opened through CreateFile. Each
// kind of object derives from HandleObject; CloseHandle and the functions that take a handle
// look it up here, so that a closed or made-up handle is refused instead of followed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

namespace winsim {

class Machine;

struct HandleObject {
    virtual ~HandleObject();
};

// A machine component: machine.Component<HandleTable>(). Handle values are multiples of four
// from 0x100 on and are never given out twice in a process, so that a stale copy of a closed
// handle stays invalid.
class HandleTable {
public:
    explicit HandleTable(Machine& machine);

    void* Insert(std::shared_ptr<HandleObject> object);
    // The object behind `handle` if it is open and of kind T; null otherwise.
    template <class T>
    std::shared_ptr<T> Find(void* handle) {
        return std::dynamic_pointer_cast<T>(FindObject(handle));
    }
    std::shared_ptr<HandleObject> FindObject(void* handle);
    // False when `handle` is not open. The object lives on while others still hold it.
    bool Close(void* handle);

private:
    Machine& m_machine;
    std::uintptr_t m_next = 0x100;
    std::map<std::uintptr_t, std::shared_ptr<HandleObject>> m_objects;
};

}  // namespace winsim
