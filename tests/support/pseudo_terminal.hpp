#pragma once
// A pseudo-terminal of a given size for a program's output, whose other side is read on a thread
// as a terminal emulator would read it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vireo::test {

class PseudoTerminal {
  public:
    PseudoTerminal(std::uint16_t columns, std::uint16_t rows);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The terminal side, for the program; -1 when no pseudo-terminal could be opened.
    int fd() const { return slave_; }
    // Every byte read from the other side so far.
    std::string output() const;
    std::size_t received() const { return received_; }
    // The bytes read since the last call; they are not kept in output().
    std::string take_output();
    // Waits until the reader has taken everything written so far.
    void settle() const;
    // Waits until the reader has taken everything written to fd() before this call, exactly: a
    // marker goes after it, and is taken out of the output when it arrives.
    void sync();
    // Gives the terminal a new size, as a window that is resized.
    void resize(std::uint16_t columns, std::uint16_t rows);
    // Closes the other side, as a terminal window that goes away: writes to fd() fail from now.
    void close_other_side();

  private:
    void read_other_side();

    int master_ = -1;
    int slave_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> received_{0};
    std::size_t syncs_ = 0;
    mutable std::mutex mutex_;
    std::string output_;
    std::thread reader_;
};

}  // namespace vireo::test
