// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmark programs share: reading the time a program reports, and
// running the tool and the board server as child processes.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvanel::bench {

// The seconds of the result text "... 12.34 seconds elapsed..." (the last one).
inline std::optional<double> elapsed_of(const std::string& text) {
    const auto at = text.rfind(" seconds elapsed");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    auto begin = text.rfind(' ', at - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return std::atof(text.substr(begin, at - begin).c_str());
}

// A child process; killed and reaped when the object goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts the program with its standard output on a pipe; false when it fails.
    bool start(const std::vector<std::string>& argv, const std::string& err_file) {
        int pipe_fds[2];
        if (pipe(pipe_fds) != 0) {
            return false;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipe_fds[1], 1);
            const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                dup2(err, 2);
            }
            close(pipe_fds[0]);
            close(pipe_fds[1]);
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(pipe_fds[1]);
        out_ = pipe_fds[0];
        return pid_ > 0;
    }

    // The first line of its output (the board server's device path).
    std::string first_line() {
        std::string line;
        char c = 0;
        while (read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (out_ >= 0) {
            close(out_);
            out_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Runs the tool and answers its output and exit status.
inline std::pair<int, std::string> run_tool(const std::vector<std::string>& argv) {
    std::string command;
    for (const std::string& a : argv) {
        command += "'" + a + "' ";
    }
    command += "2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, output};
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace corvanel::bench
