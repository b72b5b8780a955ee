// The controller: what each menu command, timer tick and mouse click does.
#pragma once

#include <cstdint>

#include "app/program.h"

namespace zqv {

// Menu command identifiers.
constexpr unsigned command_bugger_off = ZQV_CMD_BUGGER_OFF;
constexpr unsigned command_stop_start = ZQV_CMD_STOP_START;
constexpr unsigned command_new = ZQV_CMD_NEW;
constexpr unsigned command_new_recorded = ZQV_CMD_NEW_RECORDED;
constexpr unsigned command_open = ZQV_CMD_OPEN;
constexpr unsigned command_generate_only = ZQV_CMD_GENERATE_ONLY;
constexpr unsigned command_query_position = ZQV_CMD_QUERY_POSITION;

constexpr unsigned timer_period_ms = 20;

// Runs the menu command; false (and nothing done) for an unknown identifier.
bool on_command(unsigned id);
// One animation step, on every timer tick.
void on_tick();
// The left button was released at client point (mx, my), origin top left.
void on_click(std::uint16_t mx, std::uint16_t my);

}  // namespace zqv
