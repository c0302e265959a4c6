#include "machine/handles.h"

#include <mutex>

#include "machine/machine.h"

namespace winsim {

HandleObject::~HandleObject() = default;

HandleTable::HandleTable(Machine& machine) : m_machine(machine) {}

void* HandleTable::Insert(std::shared_ptr<HandleObject> object) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    std::uintptr_t value = m_next;
    m_next += 4;
    m_objects[value] = std::move(object);
    return reinterpret_cast<void*>(value);
}

std::shared_ptr<HandleObject> HandleTable::FindObject(void* handle) {
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    auto it = m_objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == m_objects.end() ? nullptr : it->second;
}

bool HandleTable::Close(void* handle) {
    std::shared_ptr<HandleObject> object;  // destroyed after the lock is released
    std::lock_guard<std::recursive_mutex> lock(m_machine.Mutex());
    auto it = m_objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_objects.end()) return false;
    object = std::move(it->second);
    m_objects.erase(it);
    return true;
}

}  // namespace winsim
