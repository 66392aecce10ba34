#pragma once
// A stand-in for a tinySA's firmware shell, served over loopback TCP or a pseudo-terminal, for
// tests and for trying Vireo without hardware. It can be told to misbehave, one fault at a time.
//
// Threading: each listen_tcp() / open_pty() starts one serving thread; the TCP thread serves one
// client at a time. The address or path returned is ready at once (connect or open right away).
// The query functions may be called from any thread; stop() (and the destructor) wake every
// blocking wait and join the threads.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sim {

// Which firmware the double mimics.
enum class Model { Basic, Ultra };

// One way of misbehaving; see Options for the parameters each one takes.
enum class FaultKind {
    None,
    // Accept the connection, never send a byte (commands are still read and recorded).
    Silent,
    // Close the connection once fault_count bytes were sent in the session (banner and echo
    // included); on the pty, once a client has read them, hang up for good.
    CloseAfterBytes,
    // Before the "{" of scanraw (after the echo), send fault_count bytes of echo-like text.
    LongEcho,
    // The same with binary garbage bytes (never '{').
    Garbage,
    // Point fault_count of the frame gets alignment byte fault_byte instead of 'x'.
    BadAlignment,
    // The frame's last byte is fault_byte instead of '}'.
    NoClosingBrace,
    // No prompt after the frame, or, when fault_command is set, after that command's reply.
    NoPrompt,
    // The reply to fault_command is fault_count bytes of text (no "ch>", no '{') before the
    // prompt, after the echo.
    OversizedReply,
    // The reply to fault_command is fault_line + "\r\n" (after the echo); it is not carried out.
    Reject,
    // Send every byte separately (one write each, TCP_NODELAY), byte_delay before each.
    Trickle,
    // The reply to fault_command and its prompt come reply_delay after the echo, as from a
    // device that is busy; commands sent meanwhile wait their turn.
    LateReply,
};

// How the double behaves. Fixed for the double's lifetime.
struct Options {
    Model model = Model::Ultra;
    bool banner = true;                        // "\r\ntinySA Shell\r\nch> " when a client connects
    bool echo = true;                          // echo command characters and "\r\n"
    std::chrono::microseconds point_delay{0};  // per-point delay while sending scan / scanraw
    std::chrono::microseconds byte_delay{0};   // delay between bytes when trickling
    std::chrono::microseconds reply_delay{0};  // how late a late reply comes
    FaultKind fault = FaultKind::None;
    std::uint64_t fault_count = 0;
    std::uint8_t fault_byte = 'X';
    // The command the fault applies to: matches a line equal to it or whose first word it is
    // ("zero" matches "zero" and "zero 128"; "zero 128" only that line).
    std::string fault_command{};
    std::string fault_line = "error: rejected";
    // Replace a command's whole reply text (lines with "\r\n"); key = the full command line. The
    // command is then not carried out. The echo and the prompt stay.
    std::map<std::string, std::string> reply_overrides{};
    std::vector<std::string> hidden_commands{};  // words removed from the "help" reply
};

// The double itself. Not copyable or movable: its threads refer to it.
class InstrumentDouble {
  public:
    explicit InstrumentDouble(Options options = {});
    ~InstrumentDouble();
    InstrumentDouble(const InstrumentDouble&) = delete;
    InstrumentDouble& operator=(const InstrumentDouble&) = delete;

    // Serves TCP on 127.0.0.1 with an ephemeral port, one client at a time, each with a fresh
    // shell session; returns "127.0.0.1:PORT". Once listening, returns the same address again.
    // Throws std::runtime_error when it cannot listen.
    std::string listen_tcp();
    // The same on a given numeric address, "a.b.c.d:port" or "[v6]:port" (port 0: ephemeral);
    // returns the address actually bound. Throws when it cannot listen or already listens.
    std::string listen_tcp(std::string_view address);
    // Opens a pseudo-terminal (master kept here, slave in raw mode) and serves one shell session
    // on it for the double's lifetime; returns the slave path ("/dev/pts/N"). The banner is
    // queued before anything is read. The double holds a slave descriptor of its own, so a client
    // may close and reopen the path; unread output stays queued, as on a real serial port. Throws
    // std::runtime_error on failure or when a pty is already open.
    std::string open_pty();

    // Every non-empty command line received so far (without "\r"), in order, across sessions.
    std::vector<std::string> received_commands() const;
    // When each of those lines was complete (its "\r" received), in the same order.
    std::vector<std::chrono::steady_clock::time_point> received_times() const;
    // Waits until at least `count` command lines were received; false when `timeout` passed.
    bool wait_for_commands(std::size_t count, std::chrono::milliseconds timeout) const;
    // How many sessions (TCP clients, plus the pty) have begun so far.
    std::size_t session_count() const;

    // The frequency of point i of "scanraw start stop points", as the firmware computes it.
    static std::uint64_t point_frequency_hz(std::uint64_t start_hz, std::uint64_t stop_hz,
                                            std::uint64_t points, std::uint64_t i);
    // The raw level sent for point i: (level_dbm + zero_offset) * 32, rounded, clamped to
    // 0..65535.
    static std::uint16_t raw_level(std::uint64_t start_hz, std::uint64_t stop_hz,
                                   std::uint64_t points, std::uint64_t i,
                                   std::uint16_t zero_offset);
    // The spectrum shown: a noise floor with a few carriers, deterministic, in dBm.
    static double level_dbm(std::uint64_t frequency_hz);

    // Stops serving, closes every connection and the pty, joins the threads. Idempotent.
    void stop();

  private:
    friend class Session;
    // A scanraw frame as generated, kept for the next identical request.
    struct Frame;
    void serve_tcp(int listen_fd);
    void serve_pty(int master_fd, int slave_fd);
    void record(const std::string& line);
    void begin_session();
    std::shared_ptr<const Frame> frame(std::uint64_t start_hz, std::uint64_t stop_hz,
                                       std::uint64_t points, std::uint16_t zero_offset);

    const Options options_;
    int stop_read_ = -1;  // readable once stop() was called; every wait watches it
    int stop_write_ = -1;

    // Guards starting and stopping. Each serving thread owns (and finally closes) its descriptors.
    std::mutex control_mutex_;
    bool stopped_ = false;
    std::string tcp_address_;
    std::thread tcp_thread_;
    std::thread pty_thread_;

    mutable std::mutex mutex_;  // guards everything below
    mutable std::condition_variable commands_changed_;
    std::vector<std::string> commands_;
    std::vector<std::chrono::steady_clock::time_point> command_times_;
    std::size_t sessions_ = 0;
    std::shared_ptr<const Frame> frame_cache_;
};

}  // namespace sim
