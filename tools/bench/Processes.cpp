#include "Processes.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

void execProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

double runProcess(const std::vector<std::string>& args, const std::string& out) {
    const std::string errors = "/tmp/quarzel-bench-" + std::to_string(getpid()) + ".err";
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen(errors.c_str(), "w", stderr);
        execProgram(args);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // What the command said last tells why.
        std::string said;
        if (std::FILE* f = std::fopen(errors.c_str(), "rb")) {
            for (int c; (c = std::fgetc(f)) != EOF;)
                said += static_cast<char>(c);
            std::fclose(f);
        }
        if (said.size() > 600)
            said = said.substr(said.size() - 600);
        throw std::runtime_error("the benchmark's command failed (status " +
                                 std::to_string(status) + "): " + args[0] + " " + args[1] + "\n" +
                                 said);
    }
    std::remove(errors.c_str());
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}
