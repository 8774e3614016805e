// The desktop's debug output: text that a module sends to whoever watches
// the process (a debugger on the desktop), beside what it shows its user.
// A module sends a line when something fails that its caller only sees as a
// plain "no" (an XML file that does not load, say).
//
// A program that wants these lines exports the C function
//
//   extern "C" void bxf_desktop_debug_output(const char* text);
//
// which every module of the process finds by name and calls with each line
// (UTF-8, no line break). Without such an export the text goes nowhere.
#pragma once

#include <string_view>

// The name of the function through which a program receives debug output.
inline constexpr const char* desktop_debug_output_function = "bxf_desktop_debug_output";

// Sends `text` to the program's debug output, if it takes any. Never raises.
void output_debug_string(std::string_view text) noexcept;
