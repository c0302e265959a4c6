// Which program this process is, as the machine's [Programs] section names it.
#pragma once

#include <string>

namespace winsim {

// The host executable's file name ("vantorlancfg"), unless SetProgramName said otherwise (a
// test program that stands in for the agent, say).
std::string ProgramName();
void SetProgramName(std::string name);

}  // namespace winsim
