#pragma once

#include <string>
#include <vector>

// Runs a program in the child of a fork: the first argument is its path.
// Never returns; a program that cannot be started ends the child with 127.
[[noreturn]] void execProgram(const std::vector<std::string>& args);
