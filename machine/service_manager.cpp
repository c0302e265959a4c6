#include "machine/service_manager.h"

#include <windows.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "machine/machine.h"

namespace winsim {

namespace {

bool SameRecord(const ServiceReport& a, const ServiceReport& b) {
    return a.state == b.state && a.controlsAccepted == b.controlsAccepted &&
           a.exitCode == b.exitCode && a.checkPoint == b.checkPoint && a.waitHint == b.waitHint;
}

// Why the database refuses to start `name`, or 0.
uint32_t CheckStartable(const std::string& name) {
    std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ERROR_SERVICE_DOES_NOT_EXIST;
    uint32_t refusal = 0;
    for (const char* value : {"Start", "DeleteFlag"}) {
        DWORD data = 0, size = sizeof data, type = 0;
        if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            continue;
        if (value[0] == 'S' && data == SERVICE_DISABLED) refusal = ERROR_SERVICE_DISABLED;
        if (value[0] == 'D' && data != 0) refusal = ERROR_SERVICE_MARKED_FOR_DELETE;
    }
    RegCloseKey(key);
    return refusal;
}

}  // namespace

ServiceManager::ServiceManager(Machine& machine) : m_machine(machine) {}

ServiceManager::~ServiceManager() = default;

uint32_t ServiceManager::Start(const std::string& name, const std::function<int()>& entry,
                               ReportSink sink, int* exitCode) {
    if (uint32_t refusal = CheckStartable(name)) return refusal;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running || !m_pending.empty()) return ERROR_SERVICE_ALREADY_RUNNING;
        m_pending = name;
        m_sink = std::move(sink);
        m_reports.clear();
        m_reportsOf = name;
    }
    int result = entry();
    {
        // A program that never reached the dispatcher leaves its start behind.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.clear();
        m_sink = nullptr;
    }
    if (exitCode) *exitCode = result;
    return 0;
}

std::vector<ServiceReport> ServiceManager::Reports(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return EqualNoCase(name, m_reportsOf) ? m_reports : std::vector<ServiceReport>{};
}

void ServiceManager::FailReports(uint32_t error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failReports = error;
}

void ServiceManager::SetReadDelay(std::chrono::microseconds delay) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readDelay = delay;
}

bool ServiceManager::TakePendingStart(std::string* name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running) return false;
    if (m_pending.empty()) {
        // A service program started as a process of its own by a tool acting as the SCM.
        const char* started = std::getenv("WINSIM_SERVICE_START");
        if (!started || !*started) return false;
        m_pending = started;
        m_reportsOf = started;
        m_reports.clear();
        if (const char* fd = std::getenv("WINSIM_SERVICE_REPORTS"); fd && *fd)
            m_reportFd = std::atoi(fd);
        // Programs this one starts are not services.
        unsetenv("WINSIM_SERVICE_START");
        unsetenv("WINSIM_SERVICE_REPORTS");
    }
    *name = m_pending;
    m_name = m_pending;
    m_pending.clear();
    m_running = true;
    m_stopped = false;
    m_mainEnded = false;
    m_handler = nullptr;
    m_controls.clear();
    m_status = ServiceReport{};
    m_status.state = SERVICE_START_PENDING;
    return true;
}

void ServiceManager::RunDispatcher(const std::string& name, std::function<void()> serviceMain) {
    std::thread service([this, main = std::move(serviceMain)] {
        main();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mainEnded = true;
        m_changed.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_dispatcher = std::this_thread::get_id();
    for (;;) {
        m_changed.wait(lock, [this] { return !m_controls.empty() || m_stopped || m_mainEnded; });
        if (m_controls.empty()) break;
        uint32_t control = m_controls.front();
        m_controls.pop_front();
        void (*handler)(uint32_t) = m_handler;
        lock.unlock();
        if (handler) handler(control);
        lock.lock();
        ++m_controlsDone;
        m_changed.notify_all();
    }
    lock.unlock();
    service.join();
    std::function<void()> remove;
    {
        std::lock_guard<std::mutex> relock(m_mutex);
        m_running = false;
        m_status.state = SERVICE_STOPPED;
        m_handler = nullptr;
        m_dispatcher = std::thread::id();
        m_name.clear();
        m_sink = nullptr;
        if (m_reportFd >= 0) close(m_reportFd);
        m_reportFd = -1;
        remove = std::move(m_removeWhenStopped);
        m_removeWhenStopped = nullptr;
    }
    (void)name;
    if (remove) remove();
}

bool ServiceManager::RegisterHandler(const std::string& name, void (*handler)(uint32_t)) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_running || !EqualNoCase(name, m_name)) return false;
    m_handler = handler;
    return true;
}

bool ServiceManager::Report(const std::function<ServiceReport()>& read, uint32_t* error) {
    std::chrono::microseconds delay;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_running) {
            *error = ERROR_INVALID_HANDLE;
            return false;
        }
        if (m_failReports) {
            *error = m_failReports;
            return false;
        }
        delay = m_readDelay;
    }
    ServiceReport report = read();
    if (delay.count() > 0) {
        std::this_thread::sleep_for(delay);
        report.torn = !SameRecord(report, read());
    }
    if (report.state < SERVICE_STOPPED || report.state > SERVICE_PAUSED) {
        *error = ERROR_INVALID_DATA;
        return false;
    }
    ReportSink sink;
    int fd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = report;
        m_reports.push_back(report);
        if (report.state == SERVICE_STOPPED) m_stopped = true;
        sink = m_sink;
        fd = m_reportFd;
        m_changed.notify_all();
    }
    if (sink) sink(report);
    if (fd >= 0) {
        char line[96];
        int n = std::snprintf(line, sizeof line, "%u %u %u %u %u\n", report.state,
                              report.controlsAccepted, report.exitCode, report.checkPoint,
                              report.waitHint);
        if (write(fd, line, static_cast<size_t>(n)) != n) {
            // The tool that started us is gone; the service runs on all the same.
        }
    }
    return true;
}

bool ServiceManager::IsRunning(const std::string& name, ServiceReport* status) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_running || !EqualNoCase(name, m_name)) return false;
    *status = m_status;
    return true;
}

bool ServiceManager::Control(const std::string& name, uint32_t control, ServiceReport* status,
                             uint32_t* error) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_running || !EqualNoCase(name, m_name) || m_stopped || m_mainEnded) {
        *error = ERROR_SERVICE_NOT_ACTIVE;
        return false;
    }
    *status = m_status;
    uint32_t state = m_status.state;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
        *error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        return false;
    }
    uint32_t accepted = m_status.controlsAccepted;
    bool acceptable = control == SERVICE_CONTROL_INTERROGATE || control >= 128 ||
                      (control == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP)) ||
                      ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
                       (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE));
    if (!acceptable) {
        *error = ERROR_INVALID_SERVICE_CONTROL;
        return false;
    }
    if (std::this_thread::get_id() == m_dispatcher) {
        // The handler itself asks: answer on this thread rather than wait for ourselves.
        void (*handler)(uint32_t) = m_handler;
        lock.unlock();
        if (handler) handler(control);
        lock.lock();
    } else {
        m_controls.push_back(control);
        uint64_t ticket = ++m_controlsSent;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_controlsDone >= ticket; });
    }
    *status = m_status;
    return true;
}

void ServiceManager::DeleteWhenStopped(const std::string& name, std::function<void()> remove) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (EqualNoCase(name, m_name)) m_removeWhenStopped = std::move(remove);
}

}  // namespace winsim
