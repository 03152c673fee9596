// Binds an httplib server to 127.0.0.1 for the loopback servers of the demo, the tests and the
// benchmarks.
#pragma once

#include <httplib.h>
#include <sys/socket.h>

// The bound port (`port`, or the kernel's choice for 0), or -1 when it cannot be bound.
inline int BindLoopback(httplib::Server& server, int port = 0) {
  socket_t bound = INVALID_SOCKET;
  // SO_REUSEADDR only: httplib's default SO_REUSEPORT would let a second server share a port
  // that is taken instead of failing.
  server.set_socket_options([&bound](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    bound = sock;
  });
  const int result = port == 0                                ? server.bind_to_any_port("127.0.0.1")
                     : server.bind_to_port("127.0.0.1", port) ? port
                                                              : -1;
  server.set_socket_options([](socket_t) {});  // the one above refers to this frame
  // The system's prebuilt httplib listens with a queue of 5 (its CPPHTTPLIB_LISTEN_BACKLOG is
  // compiled into the library; defining it before the include changes nothing). A client that
  // opens eight connections before the accept loop wakes has the SYNs beyond the queue dropped
  // by the kernel, and TCP sends them again only a second later. Listening again on the
  // listening socket only deepens its queue.
  if (result > 0 && ::listen(bound, SOMAXCONN) != 0) return -1;
  return result;
}
