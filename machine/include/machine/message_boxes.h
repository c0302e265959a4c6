// Every message box a process showed, for tests, and a seam for a user interface that wants to
// show and answer them itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace winsim {

struct MessageBoxRecord {
    void* owner = nullptr;
    std::string caption;
    std::string text;
    unsigned style = 0;
    int answer = 0;
    bool operator==(const MessageBoxRecord&) const = default;
};

// The message boxes shown since the last ClearMessageBoxes, oldest first.
std::vector<MessageBoxRecord> MessageBoxes();
void ClearMessageBoxes();

// Without a handler a message box is one line on standard error, answered with its default
// button. A handler (the window layer, a scripted user) answers instead; pass an empty
// function to go back.
using MessageBoxHandler = std::function<int(const MessageBoxRecord&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace winsim
