// The running side of the service control manager: a service program that the SCM started,
// its dispatcher on the program's main thread, its service thread, the controls delivered to
// its handler and every status report it makes. The services database itself lives in the
// machine's registry (HKLM\SYSTEM\CurrentControlSet\Services\<name>), where the Win32 calls
// keep it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace winsim {

class Machine;

// One SetServiceStatus call as the SCM received it.
struct ServiceReport {
    uint32_t state = 0;
    uint32_t controlsAccepted = 0;
    uint32_t exitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
    // The record changed while the SCM was reading it: two reports interleaved.
    bool torn = false;
};

// A machine component: machine.Component<ServiceManager>().
class ServiceManager {
public:
    explicit ServiceManager(Machine& machine);
    ~ServiceManager();

    using ReportSink = std::function<void(const ServiceReport&)>;

    // Runs the installed service `name` as the SCM starts it: the calling thread becomes the
    // service program's main thread and runs `entry` (the program's entry point), in which
    // StartServiceCtrlDispatcherA connects to this start, runs the service main on a thread of
    // its own and delivers controls on the calling thread. `sink` sees each status report as it
    // arrives, on the thread that made it. Returns 0 and entry's result in `exitCode`, or the
    // Win32 error that kept the service from starting (not installed, disabled, marked for
    // deletion, already running).
    uint32_t Start(const std::string& name, const std::function<int()>& entry,
                   ReportSink sink = nullptr, int* exitCode = nullptr);

    // The reports of the last start of `name`, in the order they arrived.
    std::vector<ServiceReport> Reports(const std::string& name) const;

    // Fault injection for tests: every SetServiceStatus fails with `error` (0: none).
    void FailReports(uint32_t error);
    // How long the SCM takes to read a status record, so that a report made while another is
    // being read shows up as torn.
    void SetReadDelay(std::chrono::microseconds delay);

    // --- used by the Win32 calls ---

    // A start waiting for StartServiceCtrlDispatcherA in this process: one begun by Start, or
    // one the environment names (WINSIM_SERVICE_START=<name>, set by a tool that starts the
    // service program as a process of its own; its reports then go, one line each, to the file
    // descriptor WINSIM_SERVICE_REPORTS names). False when the program was not started as a
    // service.
    bool TakePendingStart(std::string* name);
    // The dispatcher's loop: delivers queued controls to the handler on the calling thread
    // until the service has stopped and its thread has ended.
    void RunDispatcher(const std::string& name, std::function<void()> serviceMain);
    // Registers the handler of the service now starting; false when `name` is not it.
    bool RegisterHandler(const std::string& name, void (*handler)(uint32_t));
    // Records one report; false with a Win32 error when the SCM refuses it. `read` copies the
    // caller's record (state, controls, exit code, checkpoint, wait hint).
    bool Report(const std::function<ServiceReport()>& read, uint32_t* error);
    // Whether `name` is running in this process, and its last status.
    bool IsRunning(const std::string& name, ServiceReport* status) const;
    // Sends `control` to the running service's handler on the dispatcher's thread and waits
    // until the handler returns. False with a Win32 error when the control cannot be sent.
    bool Control(const std::string& name, uint32_t control, ServiceReport* status, uint32_t* error);
    // Marks a running service for deletion: the database entry goes when it stops.
    void DeleteWhenStopped(const std::string& name, std::function<void()> remove);

private:
    Machine& m_machine;  // whose registry holds the database
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_pending;
    std::string m_name;  // the service of this process that is starting or running
    bool m_running = false;
    bool m_stopped = false;
    bool m_mainEnded = false;
    void (*m_handler)(uint32_t) = nullptr;
    ServiceReport m_status;
    std::deque<uint32_t> m_controls;
    uint64_t m_controlsDone = 0;
    uint64_t m_controlsSent = 0;
    std::vector<ServiceReport> m_reports;
    std::string m_reportsOf;
    ReportSink m_sink;
    int m_reportFd = -1;
    uint32_t m_failReports = 0;
    std::chrono::microseconds m_readDelay{0};
    std::function<void()> m_removeWhenStopped;
    std::thread::id m_dispatcher;
};

}  // namespace winsim
