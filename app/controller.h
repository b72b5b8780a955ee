// The controller: what each menu command, timer tick and mouse click does.
#pragma once

#include <cstdint>

// Menu command identifiers.
constexpr unsigned command_bugger_off = 40001;
constexpr unsigned command_stop_start = 40003;
constexpr unsigned command_new = 40004;
constexpr unsigned command_new_recorded = 40006;
constexpr unsigned command_open = 40007;
constexpr unsigned command_generate_only = 40008;
constexpr unsigned command_query_position = 40009;

constexpr unsigned timer_period_ms = 20;

// Runs the menu command; false (and nothing done) for an unknown identifier.
bool on_command(unsigned id);
// One animation step, on every timer tick.
void on_tick();
// The left button was released at client point (mx, my), origin top left.
void on_click(std::uint16_t mx, std::uint16_t my);

// The iteration cap the program sets at start-up.
constexpr std::uint32_t program_iteration_cap = 2048;
