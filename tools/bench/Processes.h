#pragma once

#include <string>
#include <vector>

// Runs a program in the child of a fork: the first argument is its path.
// Never returns; a program that cannot be started ends the child with 127.
[[noreturn]] void execProgram(const std::vector<std::string>& args);

// Runs a program to its end, its standard output to a file; returns its
// peak resident memory in MB. Throws std::runtime_error, with the end of
// what it said on standard error, when it fails.
double runProcess(const std::vector<std::string>& args, const std::string& out = "/dev/null");
