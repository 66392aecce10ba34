#pragma once
// Scripted peers for byte-level tests of the link: a loopback TCP listener or the master side
// of a pseudo-terminal, each running a test's script on its own thread. For edge cases the
// instrument double does not produce on purpose (a prompt split across reads, a peer that
// closes at a chosen byte).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace vireo::test {

// The peer's side of one connection.
class PeerEnd {
  public:
    PeerEnd(int fd, bool is_socket) : fd_(fd), is_socket_(is_socket) {}
    PeerEnd(const PeerEnd&) = delete;
    PeerEnd& operator=(const PeerEnd&) = delete;
    ~PeerEnd();

    // The bytes up to and including `terminator`; less when the other side closes or nothing
    // comes for ten seconds.
    std::string read_until(char terminator);
    // For bulk transfers: reads in blocks and counts the bytes up to and including
    // `terminator` (less when the other side closes or falls silent); bytes after it in the same
    // block are lost.
    std::size_t count_until(char terminator);
    // Everything until the other side closes (or ten seconds of silence).
    std::string read_to_end();
    void send(std::string_view bytes);
    // One byte at a time with `gap` between them.
    void send_slowly(std::string_view bytes, std::chrono::milliseconds gap);
    // Closes this side now; later sends and reads do nothing.
    void close();

  private:
    // One byte, or -1 at end of stream or after ten seconds of silence.
    int read_byte();

    int fd_;
    bool is_socket_;
};

using Script = std::function<void(PeerEnd&)>;

// Listens on 127.0.0.1 at an ephemeral port, accepts one connection and runs the script on it.
class TcpPeer {
  public:
    explicit TcpPeer(Script script);
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;
    // Waits for the script; a peer nobody connected to gives up at once.
    ~TcpPeer();

    // "127.0.0.1:<port>"
    const std::string& address() const { return address_; }

  private:
    int listener_ = -1;
    std::string address_;
    std::thread thread_;
};

// A pseudo-terminal in raw mode; the script runs on the master side, the link opens `path()`.
// The master stays open when the script returns, unless the script closes it (a hang-up).
class PtyPeer {
  public:
    explicit PtyPeer(Script script);
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;
    // Waits for the script, which sees end of stream once every slave side is closed.
    ~PtyPeer();

    // The slave's device path, e.g. "/dev/pts/3".
    const std::string& path() const { return path_; }

  private:
    int slave_ = -1;
    std::string path_;
    std::unique_ptr<PeerEnd> master_;
    std::thread thread_;
};

}  // namespace vireo::test
