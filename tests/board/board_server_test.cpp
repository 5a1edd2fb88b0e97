// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of the board server: start the built program, talk to its
// pseudo-terminal with plain POSIX calls, stop it with a signal and look at what
// it left behind.

#include <gtest/gtest.h>

#include <thread>

#ifdef __unix__

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "board/chip_state_file.h"
#include "board/virtual_board.h"

namespace corvanel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

const fs::path kServer = fs::path(CORVANEL_BIN_DIR) / "corvanel-board";

// One running server, with its first output line (the device path) read.
class Server {
public:
    Server(const std::vector<std::string>& args, const fs::path& config_home) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            // Its complaints are kept beside its configuration for the tests to read.
            const int err =
                open((config_home / "server.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                dup2(err, STDERR_FILENO);
            }
            close(out[0]);
            close(out[1]);
            setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(kServer.c_str())};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(kServer.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        stdout_ = out[0];
        device_ = read_line(5s);
    }

    ~Server() {
        if (pid_ > 0 && !stopped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            close(stdout_);
        }
    }

    [[nodiscard]] const std::string& device() const { return device_; }
    [[nodiscard]] pid_t pid() const { return pid_; }

    // SIGTERM, then the exit status (-1 when it did not end within a few seconds).
    int stop() {
        kill(pid_, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                stopped_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }

private:
    std::string read_line(std::chrono::milliseconds timeout) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            pollfd fds{stdout_, POLLIN, 0};
            if (poll(&fds, 1, 50) <= 0) {
                continue;
            }
            char c = 0;
            if (read(stdout_, &c, 1) != 1 || c == '\n') {
                break;
            }
            line += c;
        }
        return line;
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string device_;
    bool stopped_ = false;
};

int open_port(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

// Reads until `count` bytes came or `timeout` passed.
Bytes receive(int fd, std::size_t count, std::chrono::milliseconds timeout) {
    Bytes bytes;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd fds{fd, POLLIN, 0};
        if (poll(&fds, 1, 20) <= 0) {
            continue;
        }
        std::uint8_t buffer[64];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            bytes.push_back(buffer[i]);
        }
    }
    return bytes;
}

class BoardServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kServer)) {
            GTEST_SKIP() << "board server not built: " << kServer;
        }
        folder_ = fs::path(::testing::TempDir()) /
                  ("corvanel-server-" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

TEST_F(BoardServerTest, ServesTheProtocolRegistersItselfAndSavesTheChipOnSigterm) {
    const fs::path state = folder_ / "chip.hex";
    Pic14Chip start = *Pic14Chip::create("PIC16F84A");
    start.set_flash(1, 0x0ABC);
    ASSERT_TRUE(save_chip_state_file(start, state.string()).ok);

    Server server({"--chip", "pic16f84a", "--state", state.string(), "--register", "COM7"},
                  folder_);
    ASSERT_FALSE(server.device().empty());
    const fs::path link = folder_ / "Tavrelix Corvanel" / "ports" / "COM7";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), server.device());

    const int fd = open_port(server.device());
    ASSERT_GE(fd, 0);
    // Voltages on, program 2805h at word 0, wait out the programming time (the chip
    // keeps real time between the bytes it takes), step to word 1, read it, voltages off.
    const Bytes command{101, 104, 2, 105, 0x05, 0x28, 104, 8};
    ASSERT_EQ(write(fd, command.data(), command.size()), static_cast<ssize_t>(command.size()));
    std::this_thread::sleep_for(30ms);
    const Bytes rest{104, 6, 104, 4, 106, 103};
    ASSERT_EQ(write(fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    EXPECT_EQ(receive(fd, 10, 3s), (Bytes{101, 104, 105, 104, 104, 104, 0xBC, 0x0A, 106, 103}));
    close(fd);

    // The host may close and reopen the port; the server keeps serving.
    const int again = open_port(server.device());
    ASSERT_GE(again, 0);
    const Bytes nop{100};
    ASSERT_EQ(write(again, nop.data(), 1), 1);
    EXPECT_EQ(receive(again, 1, 3s), nop);
    close(again);

    EXPECT_EQ(server.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    Pic14Chip saved = *Pic14Chip::create("PIC16F84A");
    ASSERT_TRUE(load_chip_state_file(saved, state.string()).ok);
    EXPECT_EQ(saved.flash(0), 0x2805);
    EXPECT_EQ(saved.flash(1), 0x0ABC);
}

// The chip's clock is the real time between the bytes: a programming command
// followed at once by the next command loses its write; waited out, it lands.
TEST_F(BoardServerTest, ACycleCutShortByTheNextByteWritesNothing) {
    Server server({"--chip", "PIC16F84A"}, folder_);
    const int fd = open_port(server.device());
    ASSERT_GE(fd, 0);
    // Voltages on, load 2805h, 08 and at once 06, then back to word 0 and read it.
    const Bytes hasty{101, 104, 2, 105, 0x05, 0x28, 104, 8, 104, 6, 101, 104, 4, 106};
    ASSERT_EQ(write(fd, hasty.data(), hasty.size()), static_cast<ssize_t>(hasty.size()));
    EXPECT_EQ(receive(fd, 10, 3s), (Bytes{101, 104, 105, 104, 104, 101, 104, 0xFF, 0x3F, 106}));
    const Bytes load{104, 2, 105, 0x05, 0x28, 104, 8};
    ASSERT_EQ(write(fd, load.data(), load.size()), static_cast<ssize_t>(load.size()));
    EXPECT_EQ(receive(fd, 3, 3s), (Bytes{104, 105, 104}));
    std::this_thread::sleep_for(30ms);  // longer than the 16F84A's 8 ms
    const Bytes check{101, 104, 4, 106, 103};
    ASSERT_EQ(write(fd, check.data(), check.size()), static_cast<ssize_t>(check.size()));
    EXPECT_EQ(receive(fd, 6, 3s), (Bytes{101, 104, 0x05, 0x28, 106, 103}));
    close(fd);
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(BoardServerTest, InjectsFaultsAndThrottlesToTheBaudRate) {
    {
        Server server({"--chip", "PIC16F628A", "--stop-after", "2"}, folder_);
        const int fd = open_port(server.device());
        ASSERT_GE(fd, 0);
        const Bytes nops{100, 100, 100, 100};
        ASSERT_EQ(write(fd, nops.data(), nops.size()), 4);
        EXPECT_EQ(receive(fd, 4, 500ms), (Bytes{100, 100}));
        close(fd);
        EXPECT_EQ(server.stop(), 0);
    }
    {
        // 20 answers at 1200 baud need at least 20 x 10 / 1200 s = 166 ms on the line.
        Server server({"--baud", "1200"}, folder_);
        const int fd = open_port(server.device());
        ASSERT_GE(fd, 0);
        const Bytes nops(20, 100);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(write(fd, nops.data(), nops.size()), 20);
        EXPECT_EQ(receive(fd, 20, 3s), nops);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
        close(fd);
        EXPECT_EQ(server.stop(), 0);
    }
}

TEST_F(BoardServerTest, ABoardWithASmallReceiveBufferLosesWhatAHostSendsAhead) {
    // Four reads sent at once to a board that takes no time of its own: it sends
    // three answer bytes to each and buffers one byte meanwhile, so one read is
    // lost and is never answered.
    Server server({"--baud", "9600", "--rx-buffer", "1", "--command-us", "0"}, folder_);
    const int fd = open_port(server.device());
    ASSERT_GE(fd, 0);
    const Bytes reads(4, 106);
    ASSERT_EQ(write(fd, reads.data(), reads.size()), 4);
    const Bytes answers = receive(fd, 12, 1500ms);
    EXPECT_EQ(answers.size(), 9U);
    close(fd);
    EXPECT_EQ(server.stop(), 0);
    std::ifstream log(folder_ / "server.err");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("receive buffer full"), std::string::npos) << text;
}

std::string read_text(const fs::path& path) {
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Waits until the server's standard error holds `text`.
bool wait_for_text(const fs::path& path, const std::string& text) {
    for (int i = 0; i < 300; ++i) {
        if (read_text(path).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Sends `bytes` and answers what came back within the time.
Bytes exchange(int fd, const Bytes& bytes, std::size_t expected,
               std::chrono::milliseconds timeout = 3s) {
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        return {};
    }
    return receive(fd, expected, timeout);
}

// Identify on each kind of emulated board: the record is the board's configuration,
// and a plain board stays silent and in step.
TEST_F(BoardServerTest, EachBoardIdentifiesItselfWithItsRecord) {
    struct Case {
        std::vector<std::string> args;  // empty: the in-process virtual board at 3.3 V
        Bytes answer;
    };
    const Case cases[] = {
        // Every board clocks blocks (111, 112: bit 10) and keeps the waits it is
        // handed (4Ah: bit 12); the in-process one has no line
        // to switch, the server one lists every rate with a line clock (--baud: bit 11).
        {{}, {2, 0x17, 0x14, 255, 0, 0xE4, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 107}},
        {{"--chip", "PIC16F628A"},
         {2, 0x17, 0x14, 255, 0, 0x88, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 107}},
        {{"--chip", "PIC16F628A", "--baud", "56000"},
         {2, 0x17, 0x1C, 255, 0, 0x88, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3E, 107}},
        // A known Vpp can be calibrated (48h); the levels add 45h/46h/49h, low at start.
        {{"--vdd", "3.3", "--vpp", "8.5", "--rx-buffer", "192"},
         {2, 0x37, 0x15, 192, 0, 0xE4, 0x0C, 0, 0, 0x34, 0x21, 0, 0, 0, 0, 0, 0, 107}},
        {{"--chip", "PIC16F628A", "--vpp-levels"},
         {2, 0xB7, 0x15, 255, 0, 0x88, 0x13, 0, 0, 0xFC, 0x21, 1, 0, 0, 0, 0, 0, 107}},
        {{"--plain"}, {}},
    };
    for (const Case& c : cases) {
        if (c.args.empty()) {
            VirtualBoard board = *VirtualBoard::with_chip("PIC16F628A");
            board.set_vdd(3.3);
            EXPECT_EQ(board.feed(107), c.answer);
            continue;
        }
        Server server(c.args, folder_);
        const int fd = open_port(server.device());
        ASSERT_GE(fd, 0);
        // Twice: with the voltages off and on; identify changes neither.
        EXPECT_EQ(exchange(fd, {107}, 18, c.answer.empty() ? 300ms : 3s), c.answer);
        EXPECT_EQ(exchange(fd, {101}, 1), Bytes{101});
        Bytes on_answer = c.answer;
        on_answer.push_back(103);
        EXPECT_EQ(exchange(fd, {107, 103}, on_answer.size()), on_answer);
        close(fd);
        EXPECT_EQ(server.stop(), 0);
        EXPECT_NE(read_text(folder_ / "server.err").find("voltages off at exit"),
                  std::string::npos);
    }
}

// The board server as a board that checks its rails: a Vpp outside the selected
// level, a failed regulator, a target's own Vdd. Voltages-on is not answered, the
// chip records no fault, and identify names the reason and the measured value once.
TEST_F(BoardServerTest, ARefusedVoltagesOnIsNamedByIdentify) {
    struct Case {
        std::vector<std::string> args;
        std::uint8_t refusal;
        std::size_t field;  // the record's field that shows the measured value
        std::uint16_t millivolts;
    };
    namespace id = board_identity;
    const Case cases[] = {
        {{"--chip", "PIC16F1847", "--vpp-levels", "--vpp", "13"},
         id::kRefusedVppHigh,
         id::kVppMeasuredAt,
         13000},
        {{"--chip", "PIC16F628A", "--vdd-rail", "8"},
         id::kRefusedVddRail,
         id::kVddMeasuredAt,
         8000},
        {{"--chip", "PIC16LF1554", "--vdd", "3.3", "--target-vdd", "5"},
         id::kRefusedTargetVdd,
         id::kTargetVddAt,
         5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        Server server(c.args, folder_);
        const int fd = open_port(server.device());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(exchange(fd, {102}, 1, 300ms), Bytes{});
        Bytes record = exchange(fd, {107}, id::kRecordSize2 + 1);
        ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
        EXPECT_EQ(record[id::kRefusalAt], c.refusal);
        EXPECT_EQ(record[c.field] | record[c.field + 1] << 8, c.millivolts);
        record = exchange(fd, {107}, id::kRecordSize2 + 1);
        ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
        EXPECT_EQ(record[id::kRefusalAt], id::kRefusedNone);
        close(fd);
        EXPECT_EQ(server.stop(), 0);
        const std::string err = read_text(folder_ / "server.err");
        EXPECT_EQ(err.find("chip fault"), std::string::npos) << err;
        EXPECT_NE(err.find("voltages off at exit"), std::string::npos) << err;
    }
}

// An LF part at the board's 5 V: the chip records it, and the server says so on exit
// (once, however often the voltages came on); at 3.3 V nothing is recorded.
TEST_F(BoardServerTest, AnLfChipAtFiveVoltsIsReportedAsAFault) {
    for (const char* vdd : {"5", "3.3"}) {
        Server server({"--chip", "PIC16LF1826", "--vdd", vdd}, folder_);
        const int fd = open_port(server.device());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(exchange(fd, {102, 103, 101, 103}, 4), (Bytes{102, 103, 101, 103}));
        close(fd);
        EXPECT_EQ(server.stop(), 0);
        const std::string err = read_text(folder_ / "server.err");
        const std::string fault =
            "chip fault: Vdd 5.0 V above the PIC16LF1826's absolute maximum (4.0 V)\n";
        if (std::string(vdd) == "5") {
            EXPECT_NE(err.find(fault), std::string::npos) << err;
            EXPECT_EQ(err.find(fault), err.rfind(fault)) << err;
        } else {
            EXPECT_EQ(err.find("chip fault"), std::string::npos) << err;
        }
    }
}

// Batch programming: SIGUSR1 takes the chip out, SIGUSR2 puts a fresh blank one in;
// the state file follows the chip in the socket.
TEST_F(BoardServerTest, SignalsSwapTheChipAndTheStateFileFollowsIt) {
    const fs::path state = folder_ / "chip.hex";
    const fs::path err = folder_ / "server.err";
    Server server({"--chip", "PIC16F628A", "--revision", "3", "--state", state.string()}, folder_);
    const int fd = open_port(server.device());
    ASSERT_GE(fd, 0);
    // Program 2805h at word 0; the device ID reads 1063h (revision 3).
    const Bytes program{102, 104, 2, 105, 0x05, 0x28, 104, 8};
    EXPECT_EQ(exchange(fd, program, 4), (Bytes{102, 104, 105, 104}));
    std::this_thread::sleep_for(30ms);
    const Bytes read_word0_and_id{102, 104, 4,   106, 104, 0, 105, 0xFF, 0x3F, 104, 6,   104, 6,
                                  104, 6,   104, 6,   104, 6, 104, 6,    104,  4,   106, 103};
    const auto read_back = [&] {
        const Bytes a = exchange(fd, read_word0_and_id, 18);
        if (a.size() != 18) {
            return std::pair<int, int>{-1, -1};
        }
        return std::pair<int, int>{a[2] | (a[3] << 8), a[14] | (a[15] << 8)};
    };
    EXPECT_EQ(read_back(), (std::pair<int, int>{0x2805, 0x1063}));

    kill(server.pid(), SIGUSR1);
    ASSERT_TRUE(wait_for_text(err, "chip removed"));
    EXPECT_EQ(read_back(), (std::pair<int, int>{0x3FFF, 0x3FFF}));
    Pic14Chip saved = *Pic14Chip::create("PIC16F628A");
    ASSERT_TRUE(load_chip_state_file(saved, state.string()).ok);
    EXPECT_EQ(saved.flash(0), 0x2805);  // the chip taken out

    kill(server.pid(), SIGUSR2);
    ASSERT_TRUE(wait_for_text(err, "blank PIC16F628A inserted"));
    EXPECT_EQ(read_back(), (std::pair<int, int>{0x3FFF, 0x1063}));
    ASSERT_TRUE(load_chip_state_file(saved, state.string()).ok);
    EXPECT_EQ(saved.flash(0), 0x3FFF);  // started afresh
    // Programmed again and taken out: the server ends with an empty socket and the
    // file keeps the chip last taken out.
    EXPECT_EQ(exchange(fd, program, 4), (Bytes{102, 104, 105, 104}));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(exchange(fd, {103}, 1), Bytes{103});
    kill(server.pid(), SIGUSR1);
    ASSERT_TRUE(wait_for_text(err,
                              "chip removed\ncorvanel-board: blank PIC16F628A inserted\n"
                              "corvanel-board: chip removed"));
    close(fd);
    EXPECT_EQ(server.stop(), 0);
    ASSERT_TRUE(load_chip_state_file(saved, state.string()).ok);
    EXPECT_EQ(saved.flash(0), 0x2805);
}

TEST_F(BoardServerTest, RefusesBadArgumentsAndAnUnreadableStateFile) {
    const auto run = [](const std::string& args) {
        const std::string command = kServer.string() + " " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run("--chip PIC18F452"), 2);
    EXPECT_EQ(run("--baud fast"), 2);
    EXPECT_EQ(run("--latency-ms 60001"), 2);
    EXPECT_EQ(run("--rx-buffer many"), 2);
    EXPECT_EQ(run("--command-us 1000001"), 2);
    EXPECT_EQ(run("--register LPT1"), 2);
    EXPECT_EQ(run("--frobnicate 1"), 2);
    EXPECT_EQ(run("--vpp 0"), 2);
    EXPECT_EQ(run("--vpp 8,5,0"), 2);
    EXPECT_EQ(run("--vpp 1e1"), 2);  // volts as the tool reads them, no exponent
    EXPECT_EQ(run("--vdd 0"), 2);
    EXPECT_EQ(run("--vdd 11"), 2);
    EXPECT_EQ(run("--vdd-rail 0"), 2);
    EXPECT_EQ(run("--target-vdd 21"), 2);
    EXPECT_EQ(run("--bandgap 1.05"), 2);        // the simulated board's only
    EXPECT_EQ(run("--firmware board.elf"), 2);  // the simulated board's option only
    EXPECT_EQ(run("--revision 4096"), 2);
    // Beyond 31 only for a chip whose revision is a word of its own.
    EXPECT_EQ(run("--chip PIC16F877A --revision 32"), 2);
    const fs::path bad = folder_ / "bad.hex";
    std::FILE* file = std::fopen(bad.c_str(), "w");
    std::fputs(":0200000005\n", file);
    std::fclose(file);
    EXPECT_EQ(run("--state '" + bad.string() + "'"), 1);
    // The unreadable file is left as it was.
    EXPECT_EQ(fs::file_size(bad), 12U);

    // The simulated firmware board reads the same option table: the options of the
    // emulated board's line and faults are not its own.
    const fs::path simulated = fs::path(CORVANEL_BIN_DIR) / "corvanel-simboard";
    if (fs::exists(simulated)) {
        const auto run_simulated = [&](const std::string& args) {
            const std::string command = simulated.string() + " " + args + " >/dev/null 2>&1";
            const int status = std::system(command.c_str());
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        };
        EXPECT_EQ(run_simulated("--help"), 0);
        EXPECT_EQ(run_simulated("--chip PIC16F628A"), 2);  // no --firmware
        EXPECT_EQ(run_simulated("--firmware x.elf --rx-buffer 3"), 2);
        EXPECT_EQ(run_simulated("--firmware x.elf --plain"), 2);
        EXPECT_EQ(run_simulated("--firmware x.elf --baud 100"), 2);
        EXPECT_EQ(run_simulated("--firmware x.elf --register LPT1"), 2);
        EXPECT_EQ(run_simulated("--firmware x.elf --chip PIC18F452"), 2);
        EXPECT_EQ(run_simulated("--firmware '" + (folder_ / "none.elf").string() + "'"), 1);
    }
}

}  // namespace
}  // namespace corvanel

#endif
