#include "scripted_peer.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace vireo::test {

namespace {

constexpr int SILENCE_MS = 10000;

// A fixture that cannot be set up makes every test that uses it meaningless.
[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::abort();
}

}  // namespace

PeerEnd::~PeerEnd() {
    close();
}

int PeerEnd::read_byte() {
    if (fd_ < 0) {
        return -1;
    }
    pollfd waiting{fd_, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&waiting, 1, SILENCE_MS);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return -1;
    }
    unsigned char byte = 0;
    ssize_t count = 0;
    do {
        count = ::read(fd_, &byte, 1);
    } while (count < 0 && errno == EINTR);
    // A pseudo-terminal master reads EIO once no slave is open.
    return count == 1 ? byte : -1;
}

std::string PeerEnd::read_until(char terminator) {
    std::string bytes;
    for (;;) {
        const int byte = read_byte();
        if (byte < 0) {
            return bytes;
        }
        bytes.push_back(static_cast<char>(byte));
        if (static_cast<char>(byte) == terminator) {
            return bytes;
        }
    }
}

std::size_t PeerEnd::count_until(char terminator) {
    std::size_t counted = 0;
    char block[65536];
    while (fd_ >= 0) {
        pollfd waiting{fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, SILENCE_MS);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        const ssize_t count = ::read(fd_, block, sizeof block);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        const std::string_view got(block, static_cast<std::size_t>(count));
        if (const auto end = got.find(terminator); end != std::string_view::npos) {
            return counted + end + 1;
        }
        counted += got.size();
    }
    return counted;
}

std::string PeerEnd::read_to_end() {
    std::string bytes;
    for (int byte = read_byte(); byte >= 0; byte = read_byte()) {
        bytes.push_back(static_cast<char>(byte));
    }
    return bytes;
}

void PeerEnd::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t count = is_socket_ ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                         : ::write(fd_, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

void PeerEnd::send_slowly(std::string_view bytes, std::chrono::milliseconds gap) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(gap);
        }
        send(bytes.substr(i, 1));
    }
}

void PeerEnd::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TcpPeer::TcpPeer(Script script) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        fail("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        fail("listen");
    }
    address_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    thread_ = std::thread([listener = listener_, script = std::move(script)] {
        int fd = -1;
        do {
            fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            return;
        }
        PeerEnd end(fd, true);
        script(end);
    });
}

TcpPeer::~TcpPeer() {
    // Wakes an accept that nobody is going to answer.
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

PtyPeer::PtyPeer(Script script) {
    int master = -1;
    if (::openpty(&master, &slave_, nullptr, nullptr, nullptr) != 0) {
        fail("openpty");
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    // Raw from the start, so bytes the script sends before the link has set up the line are
    // neither echoed nor held back as an incomplete line.
    termios settings{};
    ::tcgetattr(slave_, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(slave_, TCSANOW, &settings);
    char name[256] = {};
    if (::ttyname_r(slave_, name, sizeof name) != 0) {
        fail("ttyname_r");
    }
    path_ = name;
    // The master outlives the script: closing it hangs the terminal up, which throws away
    // whatever the link has not read yet.
    master_ = std::make_unique<PeerEnd>(master, false);
    thread_ = std::thread([end = master_.get(), script = std::move(script)] { script(*end); });
}

PtyPeer::~PtyPeer() {
    // With the last slave closed the master reads end of stream, which ends a waiting script.
    ::close(slave_);
    thread_.join();
}

}  // namespace vireo::test
