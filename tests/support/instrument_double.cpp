#include "instrument_double.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

namespace sim {

struct InstrumentDouble::Frame {
    std::uint64_t start_hz;
    std::uint64_t stop_hz;
    std::uint64_t points;
    std::uint16_t zero_offset;
    std::string bytes;
};

namespace {

using namespace std::chrono_literals;

constexpr std::string_view BANNER = "\r\ntinySA Shell\r\n";
constexpr std::string_view PROMPT = "ch> ";
// The firmware's line buffer holds 47 characters; the rest of a longer line is dropped unechoed.
constexpr std::size_t MAX_LINE = 47;
// The device's USB packets carry at most 64 bytes.
constexpr std::size_t DEVICE_CHUNK = 64;
constexpr std::uint64_t MAX_POINTS = 10'000'000;

std::runtime_error os_failure(std::string_view what) {
    return std::runtime_error(
        fmt::format("instrument double: {}: {}", what, std::system_category().message(errno)));
}

void close_fd(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto begin = line.find_first_not_of(' ', pos);
        if (begin == std::string::npos) {
            break;
        }
        const auto end = std::min(line.find(' ', begin), line.size());
        words.push_back(line.substr(begin, end - begin));
        pos = end;
    }
    return words;
}

template <typename T>
std::optional<T> parse_number(std::string_view text) {
    T value{};
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

// Deterministic per-frequency noise in [0, 1).
double noise(std::uint64_t frequency_hz) {
    std::uint64_t z = frequency_hz + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

struct Carrier {
    double frequency_hz;
    double power_mw;
};

// A broadcast FM station, a 2 m and a 70 cm amateur signal, an ISM remote and an 868 MHz device.
const std::array<Carrier, 5>& carriers() {
    static const std::array<Carrier, 5> table = [] {
        const std::array<std::pair<double, double>, 5> dbm = {{
            {100.0e6, -35.0},
            {145.5e6, -62.0},
            {433.92e6, -48.0},
            {438.5e6, -70.0},
            {868.3e6, -66.0},
        }};
        std::array<Carrier, 5> out{};
        for (std::size_t i = 0; i < dbm.size(); ++i) {
            out[i] = {dbm[i].first, std::pow(10.0, dbm[i].second / 10.0)};
        }
        return out;
    }();
    return table;
}

constexpr double CARRIER_WIDTH_HZ = 100e3;
constexpr double NOISE_FLOOR_DBM = -100.0;
constexpr double NOISE_SPREAD_DB = 5.0;

std::string cycled(std::string_view pattern, std::uint64_t count) {
    std::string out;
    out.reserve(count);
    while (out.size() < count) {
        out.append(pattern.substr(0, count - out.size()));
    }
    return out;
}

// Binary bytes without '{', so the frame's start is never found in them.
std::string garbage(std::uint64_t count) {
    std::string out(count, '\0');
    for (std::uint64_t k = 0; k < count; ++k) {
        auto byte = static_cast<unsigned char>((k * 151 + 7) & 0xff);
        if (byte == '{') {
            byte = '|';
        }
        out[k] = static_cast<char>(byte);
    }
    return out;
}

std::string_view version_text(Model model) {
    return model == Model::Basic ? "tinySA_v1.4-240-gf5d5bed\r\n"
                                 : "tinySA4_v1.4-240-gf5d5bed\r\nHW Version:V0.4.5.1 \r\n";
}

std::string_view info_text(Model model) {
    if (model == Model::Basic) {
        return "tinySA v0.3ZS304\r\n"
               "2019-2024 Copyright @tinySA firmware authors\r\n"
               "SW licensed under GPL.\r\n"
               "Version: tinySA_v1.4-240-gf5d5bed\r\n"
               "Build Time: Jan 10 2024 - 09:30:00\r\n"
               "Kernel: 4.0.0\r\n"
               "Compiler: GCC 7.2.1 20170904 (release)\r\n"
               "Architecture: ARMv6-M Core Variant: Cortex-M0\r\n"
               "Port Info: Preemption through NMI\r\n"
               "Platform: STM32F072xB Entry Level Medium Density devices\r\n";
    }
    return "tinySA ULTRA ZS405\r\n"
           "2019-2024 Copyright @tinySA firmware authors\r\n"
           "SW licensed under GPL.\r\n"
           "Version: tinySA4_v1.4-240-gf5d5bed\r\n"
           "Build Time: Jan 10 2024 - 09:30:00\r\n"
           "Kernel: 4.0.0\r\n"
           "Compiler: GCC 7.2.1 20170904 (release)\r\n"
           "Architecture: ARMv7E-M Core Variant: Cortex-M4F\r\n"
           "Port Info: Advanced kernel mode\r\n"
           "Platform: STM32F303xC Analog & DSP\r\n";
}

std::string help_text(Model model, const std::vector<std::string>& hidden) {
    const auto line = [&](std::string_view head, std::initializer_list<std::string_view> words) {
        std::string out(head);
        for (const auto word : words) {
            if (std::find(hidden.begin(), hidden.end(), word) == hidden.end()) {
                out += ' ';
                out += word;
            }
        }
        return out + "\r\n";
    };
    if (model == Model::Basic) {
        return line("commands:", {"version", "info", "help", "zero", "sweep", "pause", "resume",
                                  "repeat", "mode", "scan", "scanraw", "marker", "leveloffset",
                                  "vbat", "usart_cfg", "threads"});
    }
    return line("commands:", {"help", "info", "zero", "sweep", "pause", "resume", "repeat", "mode",
                              "scan", "scanraw", "marker", "leveloffset"}) +
           line("Other commands:", {"version", "vbat", "usart_cfg", "threads"});
}

constexpr std::string_view THREADS_TEXT =
    "stklimit|   stack|stk free|    addr|refs|prio|    state|        name\r\n"
    "20000200|2000027c|00000148|200016d8|   0|  64|  CURRENT|main\r\n"
    "20001720|2000178c|00000060|200017e0|   0|   1|    READY|idle\r\n"
    "20001c40|20001d1c|00000218|20001e60|   0|  65| SLEEPING|sweep\r\n";

constexpr std::string_view LEVELOFFSET_TEXT =
    "leveloffset low 0.0\r\n"
    "leveloffset high 0.0\r\n"
    "leveloffset switch 0.0\r\n";

}  // namespace

// One connection's byte channel: a non-blocking descriptor whose waits also watch the stop pipe.
class Channel {
  public:
    Channel(int fd, bool is_socket, int stop_fd) : fd_(fd), is_socket_(is_socket), stop_(stop_fd) {}

    // Writes everything; false when the peer is gone or the double stops.
    bool write_all(std::string_view bytes) {
        while (!bytes.empty()) {
            const auto n = is_socket_ ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                      : ::write(fd_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait(POLLOUT)) {
                    return false;
                }
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads what is there (waiting for at least one byte); 0 when closed, failed or stopping.
    std::size_t read_some(char* buffer, std::size_t size) {
        while (true) {
            const auto n = ::read(fd_, buffer, size);
            if (n > 0) {
                return static_cast<std::size_t>(n);
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait(POLLIN)) {
                    return 0;
                }
                continue;
            }
            return 0;
        }
    }

    // Sleeps until `deadline`; false when the double stops first.
    bool pause_until(std::chrono::steady_clock::time_point deadline) {
        while (true) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= 0ns) {
                return !stopping();
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                              static_cast<long>(ns % 1'000'000'000)};
            pollfd p{stop_, POLLIN, 0};
            const int r = ::ppoll(&p, 1, &ts, nullptr);
            if (r > 0) {
                return false;
            }
            if (r < 0 && errno != EINTR) {
                return false;
            }
        }
    }

    bool pause(std::chrono::microseconds delay) {
        return pause_until(std::chrono::steady_clock::now() + delay);
    }

    // Waits until a client has read everything queued on the pty's slave side, so that closing
    // the master (a hang-up) does not throw away bytes that were already "sent".
    void wait_until_read(int slave_fd) {
        int quiet = 0;
        while (quiet < 2) {
            int queued = 0;
            if (::ioctl(slave_fd, FIONREAD, &queued) != 0) {
                return;
            }
            // The pty moves bytes to the slave side asynchronously: an empty queue must stay
            // empty for a moment before it counts.
            quiet = queued == 0 ? quiet + 1 : 0;
            if (!pause(queued == 0 ? 10ms : 1ms)) {
                return;
            }
        }
    }

  private:
    bool stopping() const {
        pollfd p{stop_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

    // Waits for `events` on the descriptor; false when the double stops.
    bool wait(short events) {
        while (true) {
            pollfd p[2] = {{fd_, events, 0}, {stop_, POLLIN, 0}};
            const int r = ::poll(p, 2, -1);
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r < 0 || p[1].revents != 0) {
                return false;
            }
            // Errors and hang-ups show in the next read or write.
            return true;
        }
    }

    int fd_;
    bool is_socket_;
    int stop_;
};

// One shell session: line discipline, commands and faults over one channel.
class Session {
  public:
    Session(InstrumentDouble& owner, Channel& channel)
        : owner_(owner),
          options_(owner.options_),
          channel_(channel),
          zero_offset_(options_.model == Model::Basic ? 128 : 174),
          sweep_stop_(options_.model == Model::Basic ? 350'000'000 : 800'000'000),
          sweep_points_(options_.model == Model::Basic ? 290 : 450) {}

    // Serves until the peer goes, a fault closes the session or the double stops.
    void run() {
        if (options_.fault == FaultKind::CloseAfterBytes && options_.fault_count == 0) {
            return;
        }
        if (options_.banner && !(send(BANNER) && prompt())) {
            return;
        }
        std::array<char, 4096> buffer{};
        while (true) {
            const auto n = channel_.read_some(buffer.data(), buffer.size());
            if (n == 0) {
                return;
            }
            std::string echo;
            for (std::size_t k = 0; k < n; ++k) {
                const char c = buffer[k];
                if (c == '\r') {
                    if (options_.echo) {
                        echo += "\r\n";
                    }
                    if (!send(echo)) {
                        return;
                    }
                    echo.clear();
                    std::string line;
                    line.swap(line_);
                    if (!handle_line(line)) {
                        return;
                    }
                } else if (static_cast<unsigned char>(c) < 0x20) {
                    // Line feeds and other controls are dropped.
                } else if (line_.size() < MAX_LINE) {
                    line_ += c;
                    if (options_.echo) {
                        echo += c;
                    }
                }
            }
            if (!send(echo)) {
                return;
            }
        }
    }

  private:
    // Every byte the session sends passes here; false ends the session.
    bool send(std::string_view bytes) {
        if (bytes.empty()) {
            return true;
        }
        switch (options_.fault) {
            case FaultKind::Silent:
                return true;
            case FaultKind::CloseAfterBytes: {
                const auto room = options_.fault_count - sent_;
                const auto take = std::min<std::uint64_t>(room, bytes.size());
                if (!channel_.write_all(bytes.substr(0, take))) {
                    return false;
                }
                sent_ += take;
                return sent_ < options_.fault_count;
            }
            case FaultKind::Trickle:
                for (const char c : bytes) {
                    if (options_.byte_delay > 0us && !channel_.pause(options_.byte_delay)) {
                        return false;
                    }
                    if (!channel_.write_all(std::string_view(&c, 1))) {
                        return false;
                    }
                }
                return true;
            default:
                return channel_.write_all(bytes);
        }
    }

    bool prompt() { return send(PROMPT); }

    bool targeted(const std::string& line, const std::vector<std::string>& words) const {
        const auto& wanted = options_.fault_command;
        return !wanted.empty() && (line == wanted || words.front() == wanted);
    }

    bool handle_line(const std::string& line) {
        const auto words = split_words(line);
        if (words.empty()) {
            return prompt();
        }
        owner_.record(line);
        const bool hit = targeted(line, words);
        if (options_.fault == FaultKind::LateReply && hit &&
            !channel_.pause(options_.reply_delay)) {
            return false;
        }
        if (options_.fault == FaultKind::Reject && hit) {
            return send(options_.fault_line + "\r\n") && prompt();
        }
        if (options_.fault == FaultKind::OversizedReply && hit) {
            return send(cycled("reply filler 0123456789 abcdefghijklmnopqrstuvwxyz\r\n",
                               options_.fault_count)) &&
                   prompt();
        }
        bool with_prompt = true;
        if (options_.fault == FaultKind::NoPrompt) {
            with_prompt = options_.fault_command.empty() ? words.front() != "scanraw" : !hit;
        }
        bool alive = true;
        if (const auto it = options_.reply_overrides.find(line);
            it != options_.reply_overrides.end()) {
            alive = send(it->second);
        } else if (words.front() == "scanraw") {
            alive = scanraw(line, words);
        } else if (words.front() == "scan") {
            alive = scan(words);
        } else {
            alive = send(text_reply(words));
        }
        return alive && (!with_prompt || prompt());
    }

    std::string text_reply(const std::vector<std::string>& words) {
        const auto& command = words.front();
        const auto model = options_.model;
        if (command == "version") {
            return std::string(version_text(model));
        }
        if (command == "info") {
            return std::string(info_text(model));
        }
        if (command == "help") {
            return help_text(model, options_.hidden_commands);
        }
        if (command == "zero") {
            if (words.size() == 2) {
                if (const auto value = parse_number<std::uint16_t>(words[1])) {
                    zero_offset_ = *value;
                    return "";
                }
            }
            return fmt::format("usage: zero {{level}}\r\n{}dBm\r\n", zero_offset_);
        }
        if (command == "repeat") {
            const auto value =
                words.size() == 2 ? parse_number<std::uint32_t>(words[1]) : std::nullopt;
            if (!value || *value < 1 || *value > 1000) {
                return "usage: repeat {1-1000}\r\n";
            }
            return "";
        }
        if (command == "pause" || command == "resume") {
            return "";
        }
        if (command == "sweep") {
            return sweep(words);
        }
        if (command == "mode") {
            return mode(words);
        }
        if (command == "vbat") {
            return "4012 mV\r\n";
        }
        if (command == "usart_cfg") {
            return "Serial: 115200 baud\r\n";
        }
        if (command == "leveloffset") {
            return std::string(LEVELOFFSET_TEXT);
        }
        if (command == "threads") {
            return std::string(THREADS_TEXT);
        }
        if (command == "marker") {
            return marker();
        }
        return command + "?\r\n";
    }

    std::string sweep(const std::vector<std::string>& words) {
        if (words.size() == 1) {
            return fmt::format("{} {} {}\r\n", sweep_start_, sweep_stop_, sweep_points_);
        }
        if (words.size() == 3 && (words[1] == "start" || words[1] == "stop")) {
            if (const auto value = parse_number<std::uint64_t>(words[2])) {
                (words[1] == "start" ? sweep_start_ : sweep_stop_) = *value;
                return "";
            }
        }
        if (words.size() == 3 || words.size() == 4) {
            const auto start = parse_number<std::uint64_t>(words[1]);
            const auto stop = parse_number<std::uint64_t>(words[2]);
            const auto points =
                words.size() == 4 ? parse_number<std::uint64_t>(words[3]) : sweep_points_;
            if (start && stop && points && *points > 0 && *points <= MAX_POINTS) {
                sweep_start_ = *start;
                sweep_stop_ = *stop;
                sweep_points_ = *points;
                return "";
            }
        }
        return "usage: sweep {start(Hz)} [stop(Hz)] [points]\r\n"
               "\tsweep {start|stop} {freq(Hz)}\r\n";
    }

    std::string mode(const std::vector<std::string>& words) const {
        const auto io = [](const std::string& w) { return w == "input" || w == "output"; };
        if (options_.model == Model::Basic) {
            if (words.size() == 3 && (words[1] == "low" || words[1] == "high") && io(words[2])) {
                return "";
            }
            return "usage: mode low|high input|output\r\n";
        }
        if ((words.size() == 3 && words[1] == "low" && io(words[2])) ||
            (words.size() == 2 && io(words[1]))) {
            return "";
        }
        return "usage: mode [low] input|output\r\n";
    }

    std::string marker() const {
        std::uint64_t best = 0;
        double best_level = -std::numeric_limits<double>::infinity();
        for (std::uint64_t i = 0; i < sweep_points_; ++i) {
            const auto level = InstrumentDouble::level_dbm(
                InstrumentDouble::point_frequency_hz(sweep_start_, sweep_stop_, sweep_points_, i));
            if (level > best_level) {
                best = i;
                best_level = level;
            }
        }
        return fmt::format(
            "1 {} {} {:.2f}\r\n", best,
            InstrumentDouble::point_frequency_hz(sweep_start_, sweep_stop_, sweep_points_, best),
            best_level);
    }

    struct Range {
        std::uint64_t start;
        std::uint64_t stop;
        std::uint64_t points;
    };

    // "{start} {stop} [points] [more]": the range of scan and scanraw.
    std::optional<Range> parse_range(const std::vector<std::string>& words,
                                     std::size_t max_words) const {
        if (words.size() < 3 || words.size() > max_words) {
            return std::nullopt;
        }
        const auto start = parse_number<std::uint64_t>(words[1]);
        const auto stop = parse_number<std::uint64_t>(words[2]);
        const auto points =
            words.size() >= 4 ? parse_number<std::uint64_t>(words[3]) : sweep_points_;
        if (!start || !stop || !points || *start > *stop || *points == 0 || *points > MAX_POINTS) {
            return std::nullopt;
        }
        return Range{*start, *stop, *points};
    }

    // The pause after which `done` points are measured (the device sends as it measures).
    std::chrono::steady_clock::time_point measured(std::chrono::steady_clock::time_point begin,
                                                   std::uint64_t done) const {
        return begin + options_.point_delay * static_cast<std::int64_t>(done);
    }

    bool scan(const std::vector<std::string>& words) {
        const auto range = parse_range(words, 5);
        if (!range) {
            return send("usage: scan {start(Hz)} {stop(Hz)} [points] [outmask]\r\n");
        }
        const bool paced = options_.point_delay > 0us;
        const auto begin = std::chrono::steady_clock::now();
        std::string text;
        for (std::uint64_t i = 0; i < range->points; ++i) {
            const auto hz =
                InstrumentDouble::point_frequency_hz(range->start, range->stop, range->points, i);
            text += fmt::format("{} {:.2f}\r\n", hz, InstrumentDouble::level_dbm(hz));
            if (paced) {
                if (!channel_.pause_until(measured(begin, i + 1)) || !send(text)) {
                    return false;
                }
                text.clear();
            }
        }
        return send(text);
    }

    bool scanraw(const std::string& line, const std::vector<std::string>& words) {
        const auto range = parse_range(words, 5);
        if (!range) {
            return send("usage: scanraw {start(Hz)} {stop(Hz)} [points] [option]\r\n");
        }
        if (options_.fault == FaultKind::LongEcho &&
            !send(cycled(line + "\r\n", options_.fault_count))) {
            return false;
        }
        if (options_.fault == FaultKind::Garbage && !send(garbage(options_.fault_count))) {
            return false;
        }
        const auto frame = owner_.frame(range->start, range->stop, range->points, zero_offset_);
        std::string_view bytes = frame->bytes;
        std::string patched;
        if (options_.fault == FaultKind::BadAlignment && options_.fault_count < range->points) {
            patched = frame->bytes;
            patched[1 + 3 * options_.fault_count] = static_cast<char>(options_.fault_byte);
            bytes = patched;
        } else if (options_.fault == FaultKind::NoClosingBrace) {
            patched = frame->bytes;
            patched.back() = static_cast<char>(options_.fault_byte);
            bytes = patched;
        }
        if (options_.point_delay <= 0us) {
            return send(bytes);
        }
        const auto begin = std::chrono::steady_clock::now();
        for (std::size_t offset = 0; offset < bytes.size(); offset += DEVICE_CHUNK) {
            const auto end = std::min(bytes.size(), offset + DEVICE_CHUNK);
            // Records whose last byte lies in this chunk are measured before it goes out.
            const auto done = std::min<std::uint64_t>(range->points, (end - 1) / 3);
            if (!channel_.pause_until(measured(begin, done)) ||
                !send(bytes.substr(offset, end - offset))) {
                return false;
            }
        }
        return true;
    }

    InstrumentDouble& owner_;
    const Options& options_;
    Channel& channel_;
    std::uint64_t sent_ = 0;
    std::string line_;
    std::uint16_t zero_offset_;
    std::uint64_t sweep_start_ = 0;
    std::uint64_t sweep_stop_;
    std::uint64_t sweep_points_;
};

InstrumentDouble::InstrumentDouble(Options options) : options_(std::move(options)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw os_failure("pipe2");
    }
    stop_read_ = fds[0];
    stop_write_ = fds[1];
}

InstrumentDouble::~InstrumentDouble() {
    stop();
    close_fd(stop_read_);
    close_fd(stop_write_);
}

std::string InstrumentDouble::listen_tcp() {
    {
        std::lock_guard lock(control_mutex_);
        if (!tcp_address_.empty()) {
            return tcp_address_;
        }
    }
    return listen_tcp("127.0.0.1:0");
}

std::string InstrumentDouble::listen_tcp(std::string_view address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const auto colon = address.rfind(':');
    const auto port = colon == std::string_view::npos
                          ? std::nullopt
                          : parse_number<std::uint16_t>(address.substr(colon + 1));
    if (!port) {
        throw std::runtime_error(fmt::format("instrument double: bad address {}", address));
    }
    auto host = std::string(address.substr(0, colon));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(*port);
        if (::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6->sin6_addr) != 1) {
            throw std::runtime_error(fmt::format("instrument double: bad address {}", address));
        }
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(*port);
        if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) != 1) {
            throw std::runtime_error(fmt::format("instrument double: bad address {}", address));
        }
        length = sizeof(sockaddr_in);
    }

    std::lock_guard lock(control_mutex_);
    if (stopped_ || tcp_thread_.joinable()) {
        throw std::runtime_error("instrument double: already listening or stopped");
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        throw os_failure("socket");
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        const auto error = os_failure(fmt::format("listen on {}", address));
        ::close(fd);
        throw error;
    }
    try {
        tcp_thread_ = std::thread([this, fd] { serve_tcp(fd); });
    } catch (...) {
        ::close(fd);
        throw;
    }
    const auto bound_port = storage.ss_family == AF_INET6
                                ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                                : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port;
    tcp_address_ = fmt::format("{}:{}", host, ntohs(bound_port));
    return tcp_address_;
}

std::string InstrumentDouble::open_pty() {
    std::lock_guard lock(control_mutex_);
    if (stopped_ || pty_thread_.joinable()) {
        throw std::runtime_error("instrument double: pty already open or stopped");
    }
    int master = -1;
    int slave = -1;
    std::array<char, 256> name{};
    if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
        throw os_failure("openpty");
    }
    termios tio{};
    const bool ok = ::tcgetattr(slave, &tio) == 0 && (::cfmakeraw(&tio), true) &&
                    ::tcsetattr(slave, TCSANOW, &tio) == 0 &&
                    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) == 0 &&
                    ::fcntl(master, F_SETFD, FD_CLOEXEC) == 0 &&
                    ::fcntl(slave, F_SETFD, FD_CLOEXEC) == 0;
    if (!ok) {
        const auto error = os_failure("pty set-up");
        ::close(master);
        ::close(slave);
        throw error;
    }
    try {
        pty_thread_ = std::thread([this, master, slave] { serve_pty(master, slave); });
    } catch (...) {
        ::close(master);
        ::close(slave);
        throw;
    }
    return name.data();
}

void InstrumentDouble::serve_tcp(int listen_fd) {
    while (true) {
        pollfd p[2] = {{listen_fd, POLLIN, 0}, {stop_read_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (p[1].revents != 0) {
            break;
        }
        const int client = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK ||
                errno == ECONNABORTED) {
                continue;
            }
            break;
        }
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        begin_session();
        {
            Channel channel(client, true, stop_read_);
            Session session(*this, channel);
            session.run();
        }
        // Send FIN first and drop unread input, so the close does not turn into a reset that
        // could discard the bytes still on their way to the client.
        ::shutdown(client, SHUT_WR);
        std::array<char, 4096> sink{};
        for (int k = 0; k < 256 && ::read(client, sink.data(), sink.size()) > 0; ++k) {
        }
        ::close(client);
    }
    ::close(listen_fd);
}

void InstrumentDouble::serve_pty(int master_fd, int slave_fd) {
    begin_session();
    {
        Channel channel(master_fd, false, stop_read_);
        Session session(*this, channel);
        session.run();
        channel.wait_until_read(slave_fd);
    }
    ::close(master_fd);
    ::close(slave_fd);
}

void InstrumentDouble::stop() {
    std::lock_guard lock(control_mutex_);
    if (!stopped_) {
        stopped_ = true;
        const char byte = 's';
        while (::write(stop_write_, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    if (tcp_thread_.joinable()) {
        tcp_thread_.join();
    }
    if (pty_thread_.joinable()) {
        pty_thread_.join();
    }
}

void InstrumentDouble::record(const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(line);
        command_times_.push_back(std::chrono::steady_clock::now());
    }
    commands_changed_.notify_all();
}

void InstrumentDouble::begin_session() {
    std::lock_guard lock(mutex_);
    ++sessions_;
}

std::vector<std::string> InstrumentDouble::received_commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::chrono::steady_clock::time_point> InstrumentDouble::received_times() const {
    std::lock_guard lock(mutex_);
    return command_times_;
}

bool InstrumentDouble::wait_for_commands(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return commands_changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

std::size_t InstrumentDouble::session_count() const {
    std::lock_guard lock(mutex_);
    return sessions_;
}

std::shared_ptr<const InstrumentDouble::Frame> InstrumentDouble::frame(std::uint64_t start_hz,
                                                                       std::uint64_t stop_hz,
                                                                       std::uint64_t points,
                                                                       std::uint16_t zero_offset) {
    {
        std::lock_guard lock(mutex_);
        const auto& f = frame_cache_;
        if (f && f->start_hz == start_hz && f->stop_hz == stop_hz && f->points == points &&
            f->zero_offset == zero_offset) {
            return f;
        }
    }
    auto made = std::make_shared<Frame>(Frame{start_hz, stop_hz, points, zero_offset, {}});
    auto& bytes = made->bytes;
    bytes.resize(3 * points + 2);
    bytes.front() = '{';
    for (std::uint64_t i = 0; i < points; ++i) {
        const auto raw = raw_level(start_hz, stop_hz, points, i, zero_offset);
        bytes[1 + 3 * i] = 'x';
        bytes[2 + 3 * i] = static_cast<char>(raw & 0xff);
        bytes[3 + 3 * i] = static_cast<char>(raw >> 8);
    }
    bytes.back() = '}';
    std::lock_guard lock(mutex_);
    frame_cache_ = made;
    return made;
}

std::uint64_t InstrumentDouble::point_frequency_hz(std::uint64_t start_hz, std::uint64_t stop_hz,
                                                   std::uint64_t points, std::uint64_t i) {
    if (points == 0 || stop_hz < start_hz) {
        return start_hz;
    }
    const std::uint64_t step = (stop_hz - start_hz) / points;
    const float product = static_cast<float>(step) * static_cast<float>(i);
    std::uint64_t offset = 0;
    if (product >= 18446744073709551616.0f) {
        offset = std::numeric_limits<std::uint64_t>::max();
    } else if (product > 0.0f) {
        offset = static_cast<std::uint64_t>(product);
    }
    return start_hz + offset;
}

std::uint16_t InstrumentDouble::raw_level(std::uint64_t start_hz, std::uint64_t stop_hz,
                                          std::uint64_t points, std::uint64_t i,
                                          std::uint16_t zero_offset) {
    const double level = level_dbm(point_frequency_hz(start_hz, stop_hz, points, i));
    const double raw = std::round((level + zero_offset) * 32.0);
    return static_cast<std::uint16_t>(std::clamp(raw, 0.0, 65535.0));
}

double InstrumentDouble::level_dbm(std::uint64_t frequency_hz) {
    const double floor_dbm = NOISE_FLOOR_DBM + NOISE_SPREAD_DB * (noise(frequency_hz) - 0.5);
    double power_mw = std::pow(10.0, floor_dbm / 10.0);
    const auto hz = static_cast<double>(frequency_hz);
    for (const auto& carrier : carriers()) {
        const double x = (hz - carrier.frequency_hz) / CARRIER_WIDTH_HZ;
        const double x2 = x * x;
        power_mw += carrier.power_mw / (1.0 + x2 * x2);
    }
    return 10.0 * std::log10(power_mw);
}

}  // namespace sim
