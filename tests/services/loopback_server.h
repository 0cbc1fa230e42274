// A server on a loopback port for the services' tests, from a thread of its own: it takes one
// connection after another, says `greeting` to each, then answers each piece that the client
// writes with what `answer` gives for it ("" says nothing) until the client closes. Clients that
// wait for each answer before they write again (HTTP and SMTP clients do) get one piece a request.
#ifndef WEBLETTER_TESTS_SERVICES_LOOPBACK_SERVER_H_
#define WEBLETTER_TESTS_SERVICES_LOOPBACK_SERVER_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace webletter::testing {

class LoopbackServer {
 public:
  using Answer = std::function<std::string(std::string_view piece)>;
  explicit LoopbackServer(Answer answer, std::string greeting = "")
      : answer_(std::move(answer)), greeting_(std::move(greeting)) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    host_port = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    shutdown(listener_, SHUT_RDWR);  // wakes accept() up
    thread_.join();
    close(listener_);
  }

  std::string host_port;  // "127.0.0.1:port"
  std::atomic<int> pieces = 0;

 private:
  void Serve() {
    for (int client; (client = accept(listener_, nullptr, nullptr)) >= 0; close(client)) {
      std::string reply = greeting_;
      char piece[4096];
      for (ssize_t n; write(client, reply.data(), reply.size()) >= 0 &&
                      (n = read(client, piece, sizeof piece)) > 0;) {
        ++pieces;
        reply = answer_(std::string_view(piece, static_cast<std::size_t>(n)));
      }
    }
  }
  const Answer answer_;
  const std::string greeting_;
  const int listener_ = socket(AF_INET, SOCK_STREAM, 0);
  std::thread thread_;
};

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SERVICES_LOOPBACK_SERVER_H_
