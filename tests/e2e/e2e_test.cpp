// The installed program as a user meets it: `vireo` in a tmux pane of fixed size against the
// instrument double, driven by keys and read from the screen.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pseudo_terminal.hpp"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto DEADLINE = 20s;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Finished {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
};

int status_of(int wait_status) {
    if (WIFEXITED(wait_status)) {
        return WEXITSTATUS(wait_status);
    }
    return 128 + WTERMSIG(wait_status);
}

// Runs a program to its end with standard output (and, when given, standard error) in files of
// the test's folder.
Finished run(const std::vector<std::string>& args, const fs::path& out_file,
             const std::optional<fs::path>& err_file = std::nullopt,
             const std::vector<std::string>& env = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err_file) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file->c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // The given variables replace inherited ones of the same name: the program reads the first
    // (a VIREO_CONFIG of the developer's shell must not win).
    const auto overridden = [&](std::string_view inherited) {
        return std::any_of(env.begin(), env.end(), [&](const std::string& given) {
            const auto name = given.substr(0, given.find('=') + 1);
            return inherited.starts_with(name);
        });
    };
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!overridden(*e)) {
            env_strings.emplace_back(*e);
        }
    }
    env_strings.insert(env_strings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : env_strings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Finished finished;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << args[0];
        return finished;
    }
    int wait_status = 0;
    ::waitpid(pid, &wait_status, 0);
    finished.status = status_of(wait_status);
    finished.out = read_file(out_file);
    return finished;
}

// Polls `ready` until it holds or the deadline passes.
bool eventually(const std::function<bool()>& ready, std::chrono::milliseconds deadline = DEADLINE) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return ready();
}

// The instrument double on an ephemeral loopback port, stopped when the test ends.
class Simulator {
  public:
    Simulator(const fs::path& dir, std::vector<std::string> options) : out_(dir / "sim.out") {
        std::vector<std::string> args{VIREO_SIM_BIN, "--listen", "127.0.0.1:0"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            // Ends with the test program, even one that is killed before this destructor runs.
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) {
                ::_exit(127);
            }
            const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) {
                ::_exit(127);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        // "vireo-sim: tinySA Basic listening on 127.0.0.1:PORT"
        eventually([&] { return contains(read_file(out_), "\n"); });
        const std::string line = read_file(out_);
        const auto at = line.find("listening on ");
        if (at != std::string::npos) {
            address_ = line.substr(at + 13, line.find('\n', at) - at - 13);
        }
    }
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& address() const { return address_; }

  private:
    fs::path out_;
    pid_t pid_ = -1;
    std::string address_;
};

// Stops the tmux server on `socket` once the test program ends without having said it is done:
// the server runs detached, so a test program that is killed (a time-out) would leave it and the
// program in its pane behind. The reaper waits for the end of a pipe whose write end only the
// test program holds.
class ServerReaper {
  public:
    explicit ServerReaper(const fs::path& socket) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        const std::string socket_text = socket.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ends[1]);
            // Holding the test program's output open would keep its runner waiting.
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            char done = 0;
            ssize_t got = 0;
            while ((got = ::read(ends[0], &done, 1)) < 0 && errno == EINTR) {
            }
            if (got == 1) {
                ::_exit(0);
            }
            ::execlp("tmux", "tmux", "-S", socket_text.c_str(), "kill-server", nullptr);
            ::_exit(127);
        }
        ::close(ends[0]);
        if (pid_ < 0) {
            ::close(ends[1]);
            return;
        }
        write_end_ = ends[1];
    }
    ~ServerReaper() {
        if (write_end_ >= 0) {
            (void)::write(write_end_, "x", 1);
            ::close(write_end_);
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ServerReaper(const ServerReaper&) = delete;
    ServerReaper& operator=(const ServerReaper&) = delete;

  private:
    pid_t pid_ = -1;
    int write_end_ = -1;
};

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::system("tmux -V >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "tmux is not installed";
        }
        // One folder per test: a parameterised test's name ("Name/SIGTERM") holds a slash, which
        // would nest it in a parent folder that nobody removes.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir_ = fs::temp_directory_path() / ("vireo-e2e-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        socket_ = dir_ / "tmux.sock";
    }

    void TearDown() override {
        if (started_) {
            tmux({"kill-server"});
        }
        reaper_.reset();
        if (!HasFailure()) {
            fs::remove_all(dir_);
        }
    }

    fs::path config_path() const { return dir_ / "config.toml"; }

    // A configuration for the TCP back end, output and log in the test's folder (relative to
    // it, so that the saved file's path fits the result screen).
    std::string config_text(const std::string& address, const std::string& more = "") const {
        return "points = 101\n"
               "[connection]\nbackend = \"tcp\"\ntcp_address = \"" +
               address +
               "\"\n"
               "[serial]\ncommand_delay_ms = 0\nsettle_delay_ms = 0\nscan_delay_ms = 0\n"
               "[output]\ndirectory = \"out\"\n"
               "[logging]\ndirectory = \"log\"\n" +
               more;
    }

    Finished tmux(const std::vector<std::string>& args) {
        std::vector<std::string> full{"tmux", "-S", socket_.string()};
        full.insert(full.end(), args.begin(), args.end());
        return run(full, dir_ / "tmux.out");
    }

    // Starts vireo in a 100x30 pane; the pane stays after it ends, which writes its exit status
    // and the terminal's modes into the test's folder.
    // With `job_control` the pane's shell runs vireo as a job, as an interactive shell does, so
    // that it can be stopped; a stopped vireo is continued once the file "cont" appears.
    // `environment` goes before the command (as "TERM=dumb" or "env -u TERM").
    void start_vireo(bool job_control = false, const std::string& environment = "") {
        write_file(dir_ / "tmux.conf",
                   "set -g remain-on-exit on\n"
                   "set -g default-terminal tmux-256color\n"
                   "set -g status off\n");
        const std::string vireo =
            environment + " VIREO_CONFIG='" + config_path().string() + "' '" + VIREO_BIN + "'\n";
        const std::string body = job_control ? "set -m\n" + vireo +
                                                   "s=$?\n"
                                                   "while [ $s -eq 148 ]; do\n"
                                                   "  while [ ! -f cont ]; do sleep 0.02; done\n"
                                                   "  fg > /dev/null\n"
                                                   "  s=$?\n"
                                                   "done\n"
                                                   "echo $s > status.tmp\n"
                                             : vireo + "echo $? > status.tmp\n";
        write_file(dir_ / "run.sh", "cd '" + dir_.string() + "'\nstty -g > modes.before\n" + body +
                                        "stty -a > stty\n"
                                        "stty -g > modes.after\nmv status.tmp status\n");
        reaper_.emplace(socket_);
        const auto started = tmux({"-f", (dir_ / "tmux.conf").string(), "new-session", "-d", "-x",
                                   "100", "-y", "30", "sh " + (dir_ / "run.sh").string()});
        ASSERT_EQ(started.status, 0);
        started_ = true;
    }

    // The visible screen; with `history`, the lines scrolled off it too.
    std::string screen(bool colours = false, bool history = false) {
        std::vector<std::string> args{"capture-pane", "-p"};
        if (colours) {
            args.emplace_back("-e");
        }
        if (history) {
            args.insert(args.end(), {"-S", "-"});
        }
        return tmux(args).out;
    }

    ::testing::AssertionResult shows(const std::string& text, bool colours = false,
                                     bool history = false) {
        std::string last;
        if (eventually([&] {
                last = screen(colours, history);
                return contains(last, text);
            })) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "\"" << text << "\" never showed; screen:\n"
                                             << last;
    }

    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args{"send-keys"};
        args.insert(args.end(), names.begin(), names.end());
        ASSERT_EQ(tmux(args).status, 0);
    }

    // The exit status once vireo has ended.
    std::optional<int> exit_status() {
        if (!eventually([&] { return fs::exists(dir_ / "status"); })) {
            return std::nullopt;
        }
        return std::stoi(read_file(dir_ / "status"));
    }

    // After vireo ended: raw mode is off, every mode is as it was before, and the pane is back
    // on the normal screen.
    void expect_terminal_given_back() {
        EXPECT_EQ(read_file(dir_ / "modes.after"), read_file(dir_ / "modes.before"));
        const std::string modes = read_file(dir_ / "stty");
        std::istringstream words(modes);
        std::vector<std::string> flags{std::istream_iterator<std::string>(words), {}};
        for (const std::string flag : {"icanon", "echo", "isig", "opost", "icrnl"}) {
            EXPECT_NE(std::find(flags.begin(), flags.end(), flag), flags.end()) << flag << "\n"
                                                                                << modes;
        }
        EXPECT_EQ(tmux({"display-message", "-p", "#{alternate_on}"}).out, "0\n");
    }

    std::vector<fs::path> files_in(const fs::path& dir) const {
        std::vector<fs::path> files;
        if (fs::exists(dir)) {
            for (const auto& entry : fs::directory_iterator(dir)) {
                files.push_back(entry.path());
            }
        }
        return files;
    }

    // The process id of vireo, a child of the pane's shell.
    std::optional<pid_t> vireo_pid() {
        const std::string pane = tmux({"display-message", "-p", "#{pane_pid}"}).out;
        const pid_t shell = static_cast<pid_t>(std::stol(pane));
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            // "pid (comm) state ppid ..."
            const std::string stat = read_file(entry.path() / "stat");
            const auto close = stat.rfind(')');
            if (close == std::string::npos || !contains(stat.substr(0, close), "(vireo")) {
                continue;
            }
            std::istringstream rest(stat.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            if (parent == shell) {
                return static_cast<pid_t>(std::stol(name));
            }
        }
        return std::nullopt;
    }

    std::vector<pid_t> threads_of(pid_t pid) const {
        std::vector<pid_t> threads;
        for (const auto& entry :
             fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task")) {
            threads.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        }
        return threads;
    }

    // After a crash: status 7, the terminal given back, then the report.
    void expect_crash_report_after_restore() {
        EXPECT_EQ(exit_status(), 7);
        expect_terminal_given_back();
        // Written after the alternate screen was left, the report stands on the normal screen
        // (it may have scrolled into the pane's history); written before, it would have gone
        // with the alternate screen.
        EXPECT_TRUE(shows("The application crashed: fatal signal SIGSEGV", false, true));
        EXPECT_FALSE(contains(screen(false, true), "Vireo version"));
    }

    fs::path dir_;
    fs::path socket_;
    std::optional<ServerReaper> reaper_;
    bool started_ = false;
};

TEST_F(EndToEnd, ABasicSweepRunsFromTheFirstScreenToTheChart) {
    Simulator sim(dir_, {"--model", "basic"});
    ASSERT_FALSE(sim.address().empty());
    write_file(config_path(), config_text(sim.address()));
    start_vireo();

    ASSERT_TRUE(shows("Vireo version 0.1.3-rc.2"));
    ASSERT_TRUE(shows("tcp://" + sim.address()));
    // The selected port has a blue background.
    EXPECT_TRUE(shows("44m", true));
    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    keys({"Enter"});
    ASSERT_TRUE(
        shows("The scan of 101 points in the range (240MHz - 800MHz) finished successfully"));
    EXPECT_TRUE(shows("\u2022"));
    EXPECT_TRUE(shows("Saved out/scan_"));
    EXPECT_TRUE(shows(".csv, press \u21b2 or q to exit"));
    keys({"Enter"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();

    const std::string saved = read_file(config_path());
    EXPECT_TRUE(contains(saved, "port = \"tcp://" + sim.address() + "\"")) << saved;
    const auto csv = files_in(dir_ / "out");
    ASSERT_EQ(csv.size(), 1u);
    const std::string rows = read_file(csv.front());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 101);
    // The default filter logs nothing on success, so there is no log file.
    EXPECT_TRUE(files_in(dir_ / "log").empty());
}

TEST_F(EndToEnd, AFailedSweepIsShownAndLeftWithQ) {
    // Nothing listens on the address the double had: the connection is refused.
    std::string closed;
    {
        Simulator sim(dir_, {});
        closed = sim.address();
    }
    ASSERT_FALSE(closed.empty());
    write_file(config_path(), config_text(closed));
    start_vireo();

    ASSERT_TRUE(shows("Vireo version"));
    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    keys({"Enter"});
    ASSERT_TRUE(shows("TCP connection: Connection refused (os error 111)"));
    EXPECT_TRUE(shows("Last status: Failed"));
    keys({"q"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();

    EXPECT_TRUE(files_in(dir_ / "out").empty());
    const auto logs = files_in(dir_ / "log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(read_file(logs.front()),
              "ERROR [vireo::scan] TCP connection: Connection refused (os error 111)\n");
}

TEST_F(EndToEnd, StartAboveStopIsRefusedAndNothingIsSaved) {
    // Steps of 500 MHz: Start 240 goes up to 740, Stop 800 down to 300.
    write_file(config_path(), config_text("127.0.0.1:9", "[scan]\nfrequency_step_mhz = 500\n"));
    const std::string before = read_file(config_path());
    start_vireo();

    ASSERT_TRUE(shows("Vireo version"));
    // Keys that would stop or suspend a program in cooked mode, and upper-case Q, do nothing.
    keys({"C-c", "C-z", "C-\\", "Q"});
    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    keys({"Up", "Right", "Down"});
    ASSERT_TRUE(shows("740"));
    ASSERT_TRUE(shows("300"));
    keys({"Enter"});
    ASSERT_TRUE(shows("invalid configuration: frequencies must be ordered in 0–960 MHz"));
    keys({"Escape"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();

    EXPECT_EQ(read_file(config_path()), before);
    EXPECT_TRUE(files_in(dir_ / "out").empty());
}

TEST_F(EndToEnd, AConfigurationErrorEndsBeforeTheTerminalIsTouched) {
    write_file(config_path(),
               "points = \"many\"\n[logging]\ndirectory = \"" + (dir_ / "log").string() + "\"\n");
    const auto finished = run({VIREO_BIN}, dir_ / "stdout", dir_ / "stderr",
                              {"VIREO_CONFIG=" + config_path().string()});
    const std::string err = read_file(dir_ / "stderr");

    EXPECT_EQ(finished.status, 1);
    EXPECT_EQ(finished.out, "");
    EXPECT_EQ(err, "Cannot load " + config_path().string() +
                       ": invalid configuration: invalid type: string \"many\", expected usize\n"
                       "in `points`\n"
                       "\n"
                       "Error: Config(Parse(Error { message: \"invalid type: string \\\"many\\\", "
                       "expected usize\", keys: [\"points\"], position: None }))\n");
    EXPECT_FALSE(fs::exists(dir_ / "log"));
}

// As in `vireo 2>&1 | (exec 0<&-; sleep 1)`: the error goes to a pipe whose reader has gone.
// The signal of such a write starts at its default in the child, as a shell leaves it, whatever
// the test program does with it.
TEST_F(EndToEnd, AnErrorThatCannotBeWrittenStillEndsWithStatusOne) {
    write_file(config_path(), "foo = 1\n");
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    ::sigemptyset(&defaults);
    ::sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::string config_variable = "VIREO_CONFIG=" + config_path().string();
    std::vector<char*> envp{config_variable.data()};
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("VIREO_CONFIG=")) {
            envp.push_back(*e);
        }
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(VIREO_BIN), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, VIREO_BIN, &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    ASSERT_EQ(spawned, 0);
    int wait_status = 0;
    ASSERT_EQ(::waitpid(pid, &wait_status, 0), pid);
    EXPECT_EQ(status_of(wait_status), 1);
}

TEST_F(EndToEnd, QWhileScanningEndsAtOnce) {
    Simulator sim(dir_, {"--model", "basic", "--point-delay-us", "100000"});
    ASSERT_FALSE(sim.address().empty());
    write_file(config_path(), config_text(sim.address()));
    start_vireo();

    ASSERT_TRUE(shows("Vireo version"));
    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    keys({"Enter"});
    ASSERT_TRUE(shows("Progress:"));
    EXPECT_TRUE(shows("TinySA Info"));
    keys({"Enter"});  // does nothing while scanning
    keys({"q"});
    // The sweep would take 10 s; leaving does not wait for it.
    EXPECT_TRUE(eventually([&] { return fs::exists(dir_ / "status"); }, 5s));
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();
    EXPECT_TRUE(files_in(dir_ / "out").empty());
}

TEST_F(EndToEnd, ACrashGivesTheTerminalBackBeforeItsReport) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo();
    ASSERT_TRUE(shows("Vireo version"));
    const auto pid = vireo_pid();
    ASSERT_TRUE(pid.has_value());

    ::kill(*pid, SIGSEGV);
    expect_crash_report_after_restore();
}

TEST_F(EndToEnd, ACrashOnTheWorkerGivesTheTerminalBackBeforeItsReport) {
    Simulator sim(dir_, {"--model", "basic", "--point-delay-us", "100000"});
    ASSERT_FALSE(sim.address().empty());
    write_file(config_path(), config_text(sim.address()));
    start_vireo();
    ASSERT_TRUE(shows("Vireo version"));
    const auto pid = vireo_pid();
    ASSERT_TRUE(pid.has_value());
    const auto before = threads_of(*pid);

    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    keys({"Enter"});
    ASSERT_TRUE(shows("Progress:"));
    // The worker is the one thread that came with the run.
    std::vector<pid_t> started;
    for (const pid_t thread : threads_of(*pid)) {
        if (std::find(before.begin(), before.end(), thread) == before.end()) {
            started.push_back(thread);
        }
    }
    ASSERT_EQ(started.size(), 1u);

    ASSERT_EQ(::syscall(SYS_tgkill, *pid, started.front(), SIGSEGV), 0);
    expect_crash_report_after_restore();
}

// Stopped from outside (Ctrl+Z cannot reach it in raw mode), vireo leaves the terminal as the
// user had it; continued, it takes raw mode and its screen back and still answers keys.
TEST_F(EndToEnd, AStopGivesTheTerminalBackUntilTheProgramContinues) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo(true);
    ASSERT_TRUE(shows("Vireo version"));
    const auto pid = vireo_pid();
    ASSERT_TRUE(pid.has_value());
    std::string pane_tty = tmux({"display-message", "-p", "#{pane_tty}"}).out;
    pane_tty.erase(pane_tty.find_last_not_of('\n') + 1);
    const auto modes_now = [&] {
        return run({"sh", "-c", "stty -g < " + pane_tty}, dir_ / "modes.now").out;
    };
    const auto stopped = [&] {
        const std::string stat = read_file("/proc/" + std::to_string(*pid) + "/stat");
        const auto end_of_name = stat.rfind(')');
        return end_of_name != std::string::npos && stat.substr(end_of_name + 2, 1) == "T";
    };

    ::kill(*pid, SIGTSTP);
    ASSERT_TRUE(eventually(stopped));
    EXPECT_EQ(modes_now(), read_file(dir_ / "modes.before"));
    EXPECT_EQ(tmux({"display-message", "-p", "#{alternate_on}"}).out, "0\n");

    write_file(dir_ / "cont", "");
    EXPECT_TRUE(eventually([&] {
        return tmux({"display-message", "-p", "#{alternate_on}"}).out == "1\n";
    }));
    EXPECT_NE(modes_now(), read_file(dir_ / "modes.before"));
    EXPECT_TRUE(shows("Vireo version"));
    keys({"Enter"});
    EXPECT_TRUE(shows("Start Frequency"));
    keys({"q"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();
}

// A window made smaller and larger again shows each time what the program draws at that size,
// with nothing left from the size before.
TEST_F(EndToEnd, AResizedWindowIsDrawnAnewAtItsSize) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo();
    ASSERT_TRUE(shows("Vireo version"));
    keys({"Enter"});
    ASSERT_TRUE(shows("Start Frequency"));
    // The help line is the last row of the frame.
    ASSERT_TRUE(shows("to validate configuration."));
    const std::string at_100_by_30 = screen();

    ASSERT_EQ(tmux({"resize-window", "-x", "80", "-y", "24"}).status, 0);
    std::vector<std::string> expected = {
        "",
        "       ┌────────────────────────────────────────────────────────────────┐",
        "       │Vireo version 0.1.3-rc.2                                        │",
        "       └────────────────────────────────────────────────────────────────┘",
        "",
        "       ┌Start Frequency┐┌Stop Frequency┐┌Points─────────┐┌Repeat────────┐",
        "       │240            ││800           ││101            ││1             │",
        "       └───────────────┘└──────────────┘└───────────────┘└──────────────┘",
    };
    expected.resize(23);
    expected.emplace_back(
        "       Use ↓↑ to move, ←→ to change status widget and ↲ to validate confi");
    std::string wanted;
    for (const std::string& line : expected) {
        wanted += line + "\n";
    }
    std::string last;
    EXPECT_TRUE(eventually([&] {
        last = screen();
        return last == wanted;
    })) << last;

    ASSERT_EQ(tmux({"resize-window", "-x", "100", "-y", "30"}).status, 0);
    EXPECT_TRUE(eventually([&] {
        last = screen();
        return last == at_100_by_30;
    })) << last
        << "\nwanted:\n"
        << at_100_by_30;
    keys({"q"});
    EXPECT_EQ(exit_status(), 0);
}

struct TerminalType {
    const char* name;
    const char* environment;
};

class TerminalTypes : public EndToEnd, public ::testing::WithParamInterface<TerminalType> {};

// Whatever TERM says, the screens are drawn with sequences the terminal understands.
TEST_P(TerminalTypes, DrawTheFirstScreen) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo(false, GetParam().environment);

    ASSERT_TRUE(shows("Vireo version 0.1.3-rc.2"));
    EXPECT_TRUE(shows("\u250cCOM Ports"));
    EXPECT_TRUE(shows("\u250cBaudrate"));
    EXPECT_TRUE(shows("\u2502tcp://127.0.0.1:9"));
    EXPECT_TRUE(shows("\u2502115200"));
    EXPECT_TRUE(shows("Use \u2193\u2191 to move"));
    keys({"q"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();
}

INSTANTIATE_TEST_SUITE_P(Term, TerminalTypes,
                         ::testing::Values(TerminalType{"Unset", "env -u TERM"},
                                           TerminalType{"Dumb", "TERM=dumb"},
                                           TerminalType{"Unknown", "TERM=no-such-terminal"},
                                           TerminalType{"Xterm256", "TERM=xterm-256color"},
                                           TerminalType{"Screen", "TERM=screen"},
                                           TerminalType{"Linux", "TERM=linux"},
                                           TerminalType{"CLocale", "LANG=C LC_ALL=C"}),
                         [](const auto& info) { return std::string(info.param.name); });

// With a limit on the size of files written, as `ulimit -f` sets it in the shell, the screens
// are drawn whole: the limit is no limit on a terminal.
TEST_F(EndToEnd, AFileSizeLimitDoesNotCutTheScreenShort) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo(false, "prlimit --fsize=300 env");

    ASSERT_TRUE(shows("Vireo version 0.1.3-rc.2"));
    // The baud-rate list to its end, and the hint on the last row.
    EXPECT_TRUE(shows("\u25023000000"));
    EXPECT_TRUE(shows("Use \u2193\u2191 to move"));
    keys({"Enter"});
    EXPECT_TRUE(shows("Start Frequency"));
    keys({"q"});
    EXPECT_EQ(exit_status(), 0);
    expect_terminal_given_back();
}

// A terminal that goes away under the program (its window closed, the other side of the
// pseudo-terminal with it): the failures of the way out are reported in order, status 1.
TEST_F(EndToEnd, ATerminalThatGoesAwayIsReportedOnTheWayOut) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    vireo::test::PseudoTerminal pty(100, 30);
    ASSERT_GE(pty.fd(), 0);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pty.fd(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pty.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir_ / "stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // A session of its own without a controlling terminal: the closed terminal sends no hang-up,
    // so the program meets the failure itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const std::string config = "VIREO_CONFIG=" + config_path().string();
    const std::string term = "TERM=xterm-256color";
    char* argv[] = {const_cast<char*>(VIREO_BIN), nullptr};
    char* envp[] = {const_cast<char*>(config.c_str()), const_cast<char*>(term.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, VIREO_BIN, &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ASSERT_EQ(spawned, 0);

    EXPECT_TRUE(eventually([&] { return contains(pty.output(), "Vireo version"); }));
    pty.close_other_side();

    int wait_status = 0;
    const bool ended = eventually([&] { return ::waitpid(pid, &wait_status, WNOHANG) == pid; });
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wait_status, 0);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(status_of(wait_status), 1);
    const std::string err = read_file(dir_ / "stderr");
    const auto cursor = err.find("Failed to show the cursor: Input/output error (os error 5)\n");
    const auto restore = err.find("Failed to restore terminal: ");
    const auto error = err.find("Error: ");
    EXPECT_EQ(cursor, 0u) << err;
    EXPECT_NE(restore, std::string::npos) << err;
    EXPECT_LT(cursor, restore) << err;
    EXPECT_LT(restore, error) << err;
    EXPECT_NE(error, std::string::npos) << err;
}

class KilledEndToEnd : public EndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(KilledEndToEnd, GivesTheTerminalBack) {
    write_file(config_path(), config_text("127.0.0.1:9"));
    start_vireo();
    ASSERT_TRUE(shows("Vireo version"));
    const auto pid = vireo_pid();
    ASSERT_TRUE(pid.has_value());

    ::kill(*pid, GetParam());
    // The process still ends by the signal, as the shell reports it.
    EXPECT_EQ(exit_status(), 128 + GetParam());
    expect_terminal_given_back();
}

INSTANTIATE_TEST_SUITE_P(Signals, KilledEndToEnd,
                         ::testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
