// A window system for the controller's tests: it logs every call in order,
// answers the file dialog as the test says, and can deliver timer ticks while
// a message box or the dialog is open, as real window systems do.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Script {
    std::vector<std::string> calls;          // e.g. "start_timer", "message Error|x=...", "beep 1000 20"
    bool timer_running = false;
    bool window_closed = false;
    std::optional<std::string> dialog_answer;  // what the next file dialog returns
    int ticks_in_next_modal = 0;               // ticks handled while the next box or dialog is open
    std::function<void()> on_bitmap_made;      // runs when a new window bitmap is made
};

extern Script script;

// Forgets the log and the answers; the timer keeps its state.
void reset_script();
