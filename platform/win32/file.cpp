// The C runtime's path calls (fopen, remove, tmpnam) on Windows paths inside the machine.
#define WINSIM_NO_CRT_NAMES
#include <windows.h>

#include <unistd.h>

#include <cerrno>

#include "machine/machine.h"
#include "machine/paths.h"

namespace {

// Text mode as the Windows runtime has it: CR LF reads as LF and a Ctrl-Z ends the data; LF
// is written as CR LF. The stream sits over the host file opened in binary.
struct TextStream {
    FILE* file;
    bool ended;
};

ssize_t TextRead(void* cookie, char* buffer, size_t size) {
    auto* text = static_cast<TextStream*>(cookie);
    size_t n = 0;
    while (n < size && !text->ended) {
        int c = std::getc(text->file);
        if (c == EOF) break;
        if (c == 0x1A) {
            text->ended = true;
            break;
        }
        if (c == '\r') {
            int next = std::getc(text->file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, text->file);
        }
        buffer[n++] = static_cast<char>(c);
    }
    if (n == 0 && std::ferror(text->file)) return -1;
    return static_cast<ssize_t>(n);
}

ssize_t TextWrite(void* cookie, const char* buffer, size_t size) {
    auto* text = static_cast<TextStream*>(cookie);
    for (size_t i = 0; i < size; ++i) {
        if ((buffer[i] == '\n' && std::putc('\r', text->file) == EOF) ||
            std::putc(buffer[i], text->file) == EOF)
            return i > 0 ? static_cast<ssize_t>(i) : -1;
    }
    return static_cast<ssize_t>(size);
}

int TextSeek(void* cookie, off64_t* offset, int whence) {
    auto* text = static_cast<TextStream*>(cookie);
    if (fseeko(text->file, *offset, whence) != 0) return -1;
    text->ended = false;
    *offset = ftello(text->file);
    return 0;
}

int TextClose(void* cookie) {
    auto* text = static_cast<TextStream*>(cookie);
    int result = std::fclose(text->file);
    delete text;
    return result;
}

// The Windows runtime's mode letters: r, w or a, then any of + t b x (x only with w) and the
// commit flags c and n, which change nothing here. Answers the host mode in binary, or "" for a
// mode the runtime refuses.
std::string HostMode(const char* mode, bool& text) {
    if (!mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return "";
    bool plus = false, binary = false, exclusive = false;
    text = false;
    for (const char* p = mode + 1; *p; ++p) {
        switch (*p) {
            case '+':
                plus = true;
                break;
            case 'b':
                binary = true;
                break;
            case 't':
                text = true;
                break;
            case 'x':
                exclusive = true;
                break;
            case 'c':
            case 'n':
                break;
            default:
                return "";
        }
    }
    if ((binary && text) || (exclusive && mode[0] != 'w')) return "";
    text = !binary;
    std::string host(1, mode[0]);
    if (plus) host += '+';
    host += 'b';
    if (exclusive) host += 'x';
    return host;
}

// Where a path of the current machine lives; empty (errno ENOENT) for no file of a drive.
std::filesystem::path Resolve(const char* path) {
    std::filesystem::path host;
    if (path) host = winsim::ResolvePath(winsim::CurrentMachine(), path);
    if (host.empty()) errno = ENOENT;
    return host;
}

}  // namespace

extern "C" {

FILE* winsim_fopen(const char* path, const char* mode) {
    bool text = false;
    std::string hostMode = HostMode(mode, text);
    if (hostMode.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    std::filesystem::path host = Resolve(path);
    if (host.empty()) return nullptr;
    std::error_code ec;
    if (std::filesystem::is_directory(host, ec)) {
        errno = EACCES;
        return nullptr;
    }
    FILE* file = std::fopen(host.c_str(), hostMode.c_str());
    if (!file || !text) return file;
    auto* stream = new TextStream{file, false};
    FILE* wrapped = fopencookie(stream, hostMode.c_str(),
                                cookie_io_functions_t{TextRead, TextWrite, TextSeek, TextClose});
    if (!wrapped) {
        std::fclose(file);
        delete stream;
    }
    return wrapped;
}

int winsim_remove(const char* path) {
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());
    std::filesystem::path host = Resolve(path);
    if (host.empty()) return -1;
    std::error_code ec;
    if (std::filesystem::is_directory(host, ec)) {
        errno = EACCES;
        return -1;
    }
    return ::unlink(host.c_str());
}

// Names "\s<process id in base 32>." and then the same with ".1", ".2", ... in the root of the
// current drive, skipping names that exist; the count goes on across calls as in the runtime.
char* winsim_tmpnam(char* buffer) {
    static unsigned s_count = 0;
    thread_local char t_name[L_tmpnam];
    char* name = buffer ? buffer : t_name;
    std::lock_guard<std::recursive_mutex> lock(winsim::CurrentMachine().Mutex());

    // Process ids on this host have at most five base-32 digits, so a name fits L_tmpnam.
    std::string prefix;
    for (unsigned long pid = static_cast<unsigned long>(::getpid()); pid > 0 || prefix.empty();
         pid /= 32)
        prefix.insert(prefix.begin(), "0123456789abcdefghijklmnopqrstuv"[pid % 32]);
    prefix = "\\s" + prefix + ".";

    std::error_code ec;
    while (s_count < TMP_MAX) {
        unsigned count = s_count++;
        std::string candidate = count == 0 ? prefix : prefix + std::to_string(count);
        size_t length = std::min(candidate.size(), static_cast<size_t>(L_tmpnam - 1));
        std::memcpy(name, candidate.data(), length);
        name[length] = '\0';
        std::filesystem::path host = winsim::ResolvePath(winsim::CurrentMachine(), name);
        if (!std::filesystem::exists(host, ec)) return name;
    }
    return nullptr;
}

}  // extern "C"
