#pragma once
// A real server of the monitoring stack (the node exporter, Prometheus) run on a free loopback
// port for one test, and a minimal HTTP client for it. The server is killed on every way out of
// the test, and with the test process.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vt::test {

class LoopbackService {
  public:
    // Every "{port}" in `arguments` becomes the port chosen; standard error goes to `log`.
    LoopbackService(const std::string& program, std::vector<std::string> arguments,
                    const std::string& log) {
        port_ = FreePort();
        for (auto& argument : arguments) {
            for (auto at = argument.find("{port}"); at != std::string::npos;
                 at = argument.find("{port}"))
                argument.replace(at, 6, std::to_string(port_));
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            std::freopen(log.c_str(), "w", stderr);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~LoopbackService() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 250; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    LoopbackService(const LoopbackService&) = delete;
    LoopbackService& operator=(const LoopbackService&) = delete;

    int port() const { return port_; }

    // GET `path`, retried while the server starts; nullopt when it never answers or has ended.
    std::optional<std::string> WaitFor(const std::string& path) const {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (auto body = Get(path)) return body;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return std::nullopt;
    }

    // A minimal HTTP/1.0 client: the body of a 200 answer.
    std::optional<std::string> Get(const std::string& path) const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string answer;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            if (::send(fd, request.data(), request.size(), 0) ==
                static_cast<ssize_t>(request.size())) {
                std::array<char, 65536> chunk;
                for (ssize_t n; (n = ::recv(fd, chunk.data(), chunk.size(), 0)) > 0;)
                    answer.append(chunk.data(), static_cast<std::size_t>(n));
            }
        }
        ::close(fd);
        const auto body = answer.find("\r\n\r\n");
        if (answer.rfind("HTTP/1.", 0) != 0 || answer.find(" 200 ") != 8 ||
            body == std::string::npos) {
            return std::nullopt;
        }
        return answer.substr(body + 4);
    }

  private:
    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace vt::test
